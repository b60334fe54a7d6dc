#include "reference/tools/VxTranslationTable.h"

#include <windows.h>

#include <string>

#include "foundation/VxFileText.h"
#include "reference/tools/VxToolsOptions.h"

namespace {

VxString Unescape(std::string_view field) {
  std::string out;
  out.reserve(field.size());
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 1 < field.size()) {
      const char next = field[i + 1];
      const char replaced = next == 't'    ? '\t'
                            : next == 'r'  ? '\r'
                            : next == 'n'  ? '\n'
                            : next == '\\' ? '\\'
                                           : 0;
      if (replaced) {
        out.push_back(replaced);
        ++i;
        continue;
      }
    }
    out.push_back(field[i]);
  }
  return VxString::FromUtf8(out);
}

}  // namespace

VxTranslationTable::VxTranslationTable(const VxToolsOptions& options) : options_(options) {}

std::map<VxString, VxString> VxTranslationTable::Parse(std::string_view text) {
  std::map<VxString, VxString> entries;
  if (text.substr(0, 3) == "\xEF\xBB\xBF")
    text.remove_prefix(3);
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r')
      line.remove_suffix(1);
    if (line.empty() || line.front() == '#')
      continue;
    const size_t tab = line.find('\t');
    if (tab == std::string_view::npos)
      continue;
    entries[Unescape(line.substr(0, tab))] = Unescape(line.substr(tab + 1));
  }
  return entries;
}

void VxTranslationTable::ReloadIfChanged() {
  const uint32_t generation = options_.Generation();
  const VxString path = options_.Get(kVxOptTranslationFile);
  if (loaded_ && path == loadedPath_ && generation == loadedGeneration_)
    return;
  entries_.clear();
  std::string text;
  if (!path.empty() && VxReadWholeFile(path.Wide(), text))
    entries_ = Parse(text);
  loadedPath_ = path;
  loadedGeneration_ = generation;
  loaded_ = true;
}

const char16_t* VxTranslationTable::GetLanguage() {
  std::lock_guard<std::mutex> lock(mutex_);
  language_ = options_.Get(kVxOptLanguage);
  if (language_.empty())
    language_ = options_.GetFlag(kVxOptPseudoTranslate) ? u"qps" : u"en";
  return language_.c_str();
}

VxString VxTranslationTable::Lookup(const VxString& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  ReloadIfChanged();
  auto it = entries_.find(text);
  return it == entries_.end() ? text : it->second;
}

void VxTranslationTable::Translate(IVxDllString* text) {
  if (!text)
    return;
  VxString result = Lookup(VxString::From(text->GetText()));
  if (options_.GetFlag(kVxOptPseudoTranslate))
    result = u"[[" + result + u"]]";
  text->SetText(result.c_str(), result.Length());
}
