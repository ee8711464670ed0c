// Fuzzes the cabinet member-name check: a name it accepts can be proved to stay in its folder.
#include <cstddef>
#include <cstdint>
#include <string>

#include "device/cab_member_name.h"
#include "fuzz/fuzz_check.h"

using namespace TVSP;

namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// Independent look at an accepted name: relative, no colon or control character, and every
// component a plain name.
void CheckStaysInside(const std::wstring& name) {
    TVSP_FUZZ_CHECK(!name.empty());
    TVSP_FUZZ_CHECK(!IsSeparator(name.front()));
    std::wstring component;
    for (std::size_t i = 0; i <= name.size(); ++i) {
        if (i == name.size() || IsSeparator(name[i])) {
            TVSP_FUZZ_CHECK(!component.empty());
            TVSP_FUZZ_CHECK(component.find_first_not_of(L". ") != std::wstring::npos);
            component.clear();
            continue;
        }
        TVSP_FUZZ_CHECK(name[i] != L':');
        TVSP_FUZZ_CHECK(static_cast<std::uint32_t>(name[i]) >= 0x20u);
        component += name[i];
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Little-endian UTF-16 code units, as the cabinet iterator hands names over on Windows.
    std::wstring name;
    for (std::size_t i = 0; i + 1 < size; i += 2) name += static_cast<wchar_t>(data[i] | (data[i + 1] << 8));

    const bool safe = IsSafeCabMemberName(name);
    if (safe) CheckStaysInside(name);

    // Safety is a property of the components: joining two names is safe exactly when both are.
    const std::size_t half = name.size() / 2;
    const std::wstring head = name.substr(0, half);
    const std::wstring tail = name.substr(half);
    const bool joinedSafe = IsSafeCabMemberName(head + L"\\" + tail);
    TVSP_FUZZ_CHECK(joinedSafe == (IsSafeCabMemberName(head) && IsSafeCabMemberName(tail)));
    TVSP_FUZZ_CHECK(IsSafeCabMemberName(head + L"/" + tail) == joinedSafe);
    return 0;
}
