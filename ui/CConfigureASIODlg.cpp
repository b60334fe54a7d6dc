#include "ui/CConfigureASIODlg.h"

#include "foundation/VxFormat.h"
#include "foundation/VxNumber.h"
#include "foundation/runtime/VxZoneSettings.h"
#include "live_Main/boundary/VxFormatNames.h"
#include "live_Main/host/VxLog.h"
#include "ui/VxDisplayScale.h"
#include "ui/VxStatic.h"

namespace {

constexpr char16_t kGroup[] = u"Live ASIO";
constexpr char16_t kLegacyPath[] = u"Plugins\\Live\\ASIO";
constexpr char16_t kDeviceIdValue[] = u"Device ID";
constexpr char16_t kSampleRateValue[] = u"Sample Rate";
constexpr char16_t kChannelsValue[] = u"Channels";
constexpr char16_t kChannelShiftValue[] = u"Channel Shift";

constexpr int32_t kRates[] = {44100, 48000, 88200, 96000, 176400, 192000};

VxZoneSettings OpenSettings(int32_t zone) {
  return VxZoneSettings(zone, VxString(kGroup), VxString(kLegacyPath), VxString());
}

// Older versions stored the driver's position in the list instead of its ID.
bool LooksLikeListIndex(const VxString& text) {
  if (text.empty() || text.size() > 32)
    return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    const bool ok = (c >= u'0' && c <= u'9') || c == u',' || c == u'.' || (c == u'-' && i == 0);
    if (!ok)
      return false;
  }
  return true;
}

VxString Decimal(int32_t value) {
  return VxFormat(u"%d", {value});
}

}  // namespace

CConfigureASIODlg::CConfigureASIODlg(int32_t zone,
                                     const VxStringArray& deviceNames,
                                     const VxStringArray& deviceIds)
    : deviceNames_(deviceNames), deviceIds_(deviceIds), zone_(zone) {
  ReadSettings();
}

CConfigureASIODlg::~CConfigureASIODlg() = default;

void CConfigureASIODlg::ReadSettings() {
  const VxZoneSettings settings = OpenSettings(zone_);
  deviceId_ = settings.ReadString(VxString(kDeviceIdValue), VxString());
  if (LooksLikeListIndex(deviceId_)) {
    const int32_t index = ToInt(deviceId_);
    deviceId_ = index >= 0 && index < static_cast<int32_t>(deviceIds_.size())
                    ? deviceIds_[static_cast<size_t>(index)]
                    : VxString();
  }
  if (DeviceIndex() < 0)
    deviceId_ = deviceIds_.empty() ? VxString() : deviceIds_.front();
  sampleRate_ = settings.ReadInt(VxString(kSampleRateValue), kDefaultSampleRate);
  channels_ = settings.ReadInt(VxString(kChannelsValue), kDefaultChannels);
  channelShift_ = settings.ReadInt(VxString(kChannelShiftValue), kDefaultChannelShift);
}

int32_t CConfigureASIODlg::DeviceIndex() const {
  for (size_t i = 0; i < deviceIds_.size(); ++i) {
    if (VxEqualsNoCase(deviceIds_[i], deviceId_))
      return static_cast<int32_t>(i);
  }
  return -1;
}

VxString CConfigureASIODlg::GetTitle() const {
  return VxTranslate(VxString(u"ASIO Line-in"));
}

void CConfigureASIODlg::CreateControls(VxControlsWndFixedSizeLayout& layout) {
  auto addLabel = [this](VxControl& control, const char16_t* text) {
    const VxString label = text[0] ? VxTranslate(VxString(text)) : VxString();
    control.AttachLabel(AddControl<VxStatic>(NextControlId(), label));
  };
  deviceList_ = AddControl<VxComboBox>(NextControlId());
  rateList_ = AddControl<VxComboBox>(NextControlId());
  channelsBox_ = AddControl<VxEditCtrl>(NextControlId(), Decimal(channels_), true, 3);
  offsetBox_ = AddControl<VxEditCtrl>(NextControlId(), Decimal(channelShift_), true, 3);
  auto help = AddControl<VxStatic>(
      NextControlId(),
      VxTranslate(VxString(u"Channel offset determines which outputs to use on the selected "
                           u"device.  Try different values (0, 2, 4, etc.) until the audio is "
                           u"routed to the desired output.")),
      VxStatic::Kind::kWrapping);
  if (!deviceList_ || !rateList_ || !channelsBox_ || !offsetBox_ || !help)
    return;
  addLabel(*deviceList_, u"Device:");
  addLabel(*rateList_, u"Sample rate:");
  addLabel(*channelsBox_, u"Channels:");
  addLabel(*offsetBox_, u"Channel offset:");
  addLabel(*help, u"");

  for (const int32_t rate : kRates)
    rateList_->AddItem(SampleRateText(rate, 2), Decimal(rate));
  rateList_->SelectKey(Decimal(sampleRate_));

  layout.SetLabelColumnFor(
      {deviceList_.Get(), rateList_.Get(), channelsBox_.Get(), offsetBox_.Get()}, VxScalePixels(8));
  layout.Place(*deviceList_);
  layout.Place(*rateList_);
  layout.Place(*channelsBox_);
  layout.Place(*offsetBox_);
  // The help text spans the whole width below the rows; the popup grows to
  // hold its wrapped lines.
  layout.Place(*help);

  for (size_t i = 0; i < deviceNames_.size() && i < deviceIds_.size(); ++i)
    deviceList_->AddItem(deviceNames_[i], deviceIds_[i]);
  if (deviceList_->ItemCount() > 0) {
    deviceList_->SelectKey(deviceId_);
  } else {
    // Shown as it stands: it names no data, but it stands where driver names do.
    deviceList_->AddItem(VxString(u"<no ASIO devices detected>"), VxString());
    deviceList_->SelectIndex(0);
    deviceList_->Enable(false);
  }
}

void CConfigureASIODlg::OnOK() {
  if (deviceList_ && rateList_ && channelsBox_ && offsetBox_) {
    deviceId_ = deviceList_->SelectedKey();
    sampleRate_ = ToInt(rateList_->SelectedKey());
    channels_ = ToInt(channelsBox_->GetText());
    channelShift_ = ToInt(offsetBox_->GetText());
    SaveSettings();
  }
  VxFixedSizeOkCancelPopupWnd::OnOK();
}

void CConfigureASIODlg::SaveSettings() {
  VxZoneSettings settings = OpenSettings(zone_);
  // A write the host refuses keeps the value stored before; the dialog has
  // closed by now and has no one to tell.
  (void)settings.WriteString(VxString(kDeviceIdValue), deviceId_);
  (void)settings.WriteInt(VxString(kSampleRateValue), sampleRate_);
  (void)settings.WriteInt(VxString(kChannelsValue), channels_);
  (void)settings.WriteInt(VxString(kChannelShiftValue), channelShift_);
}
