// The client check's XML answer through the platform's XML DOM (a COM class).
#include "update/client_check_reply.h"

#include <windows.h>
#include <msxml2.h>
#include <oleauto.h>

#include <cwchar>

#include "base/win/handle.h"

namespace TVSP {
namespace {

// The DOM document class and interface the reply is read with.
constexpr CLSID kDomDocumentClass = {0xF6D90F11, 0x9C73, 0x11D3, {0xB3, 0x2E, 0x00, 0xC0, 0x4F, 0x99, 0x0B, 0xB4}};
constexpr IID kDomDocumentInterface = {0x2933BF81, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

inline void FreeBstr(BSTR s) noexcept { ::SysFreeString(s); }
inline BSTR NoBstr() noexcept { return nullptr; }
using unique_bstr = unique_any<BSTR, FreeBstr, NoBstr>;

std::wstring NodeName(IXMLDOMNode* node) {
    unique_bstr name;
    if (FAILED(node->get_nodeName(name.put())) || !name) return {};
    return std::wstring(name.get(), ::SysStringLen(name.get()));
}

std::wstring NodeText(IXMLDOMNode* node) {
    unique_bstr text;
    if (FAILED(node->get_text(text.put())) || !text) return {};
    return std::wstring(text.get(), ::SysStringLen(text.get()));
}

bool IsNamed(IXMLDOMNode* node, const wchar_t* name) { return ::_wcsicmp(NodeName(node).c_str(), name) == 0; }

}  // namespace

std::optional<ClientCheckReply> ParseClientCheckReply(const std::wstring& text) {
    // The thread may already be in an apartment of another kind; the DOM works in either.
    com_apartment apartment;
    com_ptr<IXMLDOMDocument> document;
    if (FAILED(::CoCreateInstance(kDomDocumentClass, nullptr, CLSCTX_INPROC_SERVER, kDomDocumentInterface,
                                  document.put_void()))) {
        return std::nullopt;
    }
    if (FAILED(document->put_async(VARIANT_FALSE))) return std::nullopt;
    unique_bstr source(::SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
    if (!source && !text.empty()) return std::nullopt;
    VARIANT_BOOL loaded = VARIANT_FALSE;
    if (document->loadXML(source.get(), &loaded) != S_OK || loaded != VARIANT_TRUE) return std::nullopt;

    com_ptr<IXMLDOMElement> root;
    if (document->get_documentElement(root.put()) != S_OK || !root) return std::nullopt;
    if (!IsNamed(root.get(), L"result")) return std::nullopt;
    com_ptr<IXMLDOMNode> info;
    if (root->get_firstChild(info.put()) != S_OK || !info || !IsNamed(info.get(), L"updateinfo")) return std::nullopt;

    ClientCheckReply reply;
    com_ptr<IXMLDOMNode> child;
    HRESULT hr = info->get_firstChild(child.put());
    while (hr == S_OK && child) {
        if (IsNamed(child.get(), L"version")) {
            reply.version = NodeText(child.get());
        } else if (IsNamed(child.get(), L"url")) {
            reply.url = NodeText(child.get());
        }
        com_ptr<IXMLDOMNode> next;
        hr = child->get_nextSibling(next.put());
        child = std::move(next);
    }
    return reply;
}

}  // namespace TVSP
