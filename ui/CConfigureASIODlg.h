// CConfigureASIODlg: the ASIO source's settings dialog, and the reader of the
// stored ASIO settings.
//
// Construction copies the installed drivers' names and device IDs (parallel
// arrays, in driver-list order) and reads the four stored values of the zone's
// "Live ASIO" group (with "Plugins\Live\ASIO" as the older location),
// normalising the device ID: an older numeric value is a list index; an ID
// that is not listed (ignoring letter case) becomes the first listed one, or
// empty without drivers; a listed one keeps its stored spelling. No window is
// made, so an object may be built only to read the fields.
//
// DoModal shows the dialog: driver, sample rate, channels and channel offset;
// OK stores what the controls hold ("Device ID", "Sample Rate", "Channels",
// "Channel Shift", in that order); Cancel, Escape and closing store nothing.
//
// Threads: the host's thread (the one that calls the source's Configure or
// GetInfo). Lifetime: one call of the source.
// Windows only.
#pragma once

#include <cstdint>

#include "ui/VxComboBox.h"
#include "ui/VxEditCtrl.h"
#include "ui/VxFixedSizeOkCancelPopupWnd.h"

class CConfigureASIODlg : public VxFixedSizeOkCancelPopupWnd {
 public:
  static constexpr int32_t kDefaultSampleRate = 44100;
  static constexpr int32_t kDefaultChannels = 2;
  static constexpr int32_t kDefaultChannelShift = 0;

  CConfigureASIODlg(int32_t zone, const VxStringArray& deviceNames, const VxStringArray& deviceIds);
  ~CConfigureASIODlg() override;

  VxString GetTitle() const override;
  void OnOK() override;
  void CreateControls(VxControlsWndFixedSizeLayout& layout) override;
  int GetFixedWidth() const override { return 280; }

  const VxStringArray& DeviceNames() const { return deviceNames_; }
  const VxStringArray& DeviceIds() const { return deviceIds_; }
  const VxString& DeviceId() const { return deviceId_; }
  int32_t SampleRate() const { return sampleRate_; }
  int32_t Channels() const { return channels_; }
  int32_t ChannelShift() const { return channelShift_; }
  // Position of the device ID in the device IDs ignoring letter case; -1
  // when it is not listed.
  int32_t DeviceIndex() const;

 private:
  void ReadSettings();
  void SaveSettings();

  VxStringArray deviceNames_;
  VxStringArray deviceIds_;
  VxString deviceId_;
  int32_t sampleRate_ = kDefaultSampleRate;
  int32_t channels_ = kDefaultChannels;
  int32_t channelShift_ = kDefaultChannelShift;
  int32_t zone_ = 0;
  VxTypedWndPtr<VxComboBox> deviceList_;
  VxTypedWndPtr<VxComboBox> rateList_;
  VxTypedWndPtr<VxEditCtrl> channelsBox_;
  VxTypedWndPtr<VxEditCtrl> offsetBox_;
};
