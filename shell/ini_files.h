// The tool's three INI files: "sproutdata.ini", "Config.ini" (program folder), "updates.ini" (cache).
#pragma once

#include <string>
#include <string_view>

#include "base/win/program_folder.h"
#include "shell/cache_path.h"

namespace TVSP {

inline constexpr std::size_t kIniValueBufferUnits = 260;  // values are cut to 259 units


// The user's Internet cache folder (created if missing) joined with name, every folder on the
// way created, every "\" turned into "/".
std::wstring CacheFolderPath(std::wstring_view name);


// Private-profile access: read with a default into 260 units, write as text, delete by null value.
std::wstring ReadIniString(const std::wstring& file, const wchar_t* section, const wchar_t* key,
                           const wchar_t* defaultValue);
int ReadIniInt(const std::wstring& file, const wchar_t* section, const wchar_t* key, int defaultValue);
void WriteIniString(const std::wstring& file, const wchar_t* section, const wchar_t* key,
                    const std::wstring& value);
void DeleteIniKey(const std::wstring& file, const wchar_t* section, const wchar_t* key);

// "sproutdata.ini": the last watch seen and the user's progress. Narrow values are converted with
// the thread's ANSI code page on every access; paths are built afresh each time.
namespace SproutData {
std::string ReadModel();    // default "watchk8_mt60d_ublox"
std::string ReadVersion();  // default empty
std::string ReadImei();     // default empty
void WriteWatch(const std::string& modelKey, const std::string& version);  // model first, then version
void WriteModel(const std::string& modelKey);
void WriteVersion(const std::string& version);
void WriteImei(const std::string& imei);
void DeleteImei();
bool ReadTutorialClicked();
void WriteTutorialClicked();
}  // namespace SproutData

// "Config.ini" (never written by the tool).
namespace Config {
int CheckUpdateDelayTime();  // milliseconds, default 500

// Web pages the tool opens, section "web"; the maker's addresses are compiled in and Config.ini
// may override each (tests point them elsewhere).
enum class WebPage {
    Website, Faq, AppDownload, SocialMedia, Forum, UpdateFaq, FlashFailHelp, Tutorial,
    ConnectionHelp,     // the forum thread about watches that cannot be connected
    EditionComparison,  // what sets the normal and the advanced editions apart
};
std::wstring WebPageAddress(WebPage page);

// Base URLs of the update server, section "server": "update" for the plain-HTTP requests,
// "secure" for the IMEI query. A request's URL is its base followed by its path and query.
std::wstring UpdateServerBase();
std::wstring SecureServerBase();
}  // namespace Config

// "updates.ini" in the cache folder; deleted at every start.
std::wstring UpdatesIniPath();
void DeleteUpdatesIni();

}  // namespace TVSP
