// The documents a browser window shows, as far as the agent reads them: an
// HTML document whose "all" collection finds frame elements by name and
// records what replaces them, and a shell folder view whose folders have
// titles and parents.
#pragma once

#include "support/com_object.h"
#include "support/com_ptr.h"
#include "not_implemented.h"

#include <memory>
#include <string>
#include <vector>

namespace sentrel::host {

// A document object: deleted with its last reference, answering IUnknown,
// IDispatch and the interface its not-implemented base stands for.
template <typename NotImplementedBase>
using DocumentObject =
    qz_support::ComObject<qz_support::DeletedWithLastReference, qz_support::Answers<NotImplementedBase, IDispatch>>;

struct ReplacedElement {
    std::wstring name;
    std::wstring outerHtml;
};

class HtmlDocument final : public DocumentObject<NotImplementedIHTMLDocument2> {
public:
    static qz_support::ComPtr<HtmlDocument> Create();

    // Adds an element (a frame) that item() finds by `name`.
    void AddElement(const std::wstring& name);
    const std::vector<ReplacedElement>& Replaced() const { return *replaced_; }

    STDMETHODIMP get_all(IHTMLElementCollection** all) override;

private:
    HtmlDocument() = default;
    std::shared_ptr<std::vector<std::wstring>> names_ = std::make_shared<std::vector<std::wstring>>();
    std::shared_ptr<std::vector<ReplacedElement>> replaced_ = std::make_shared<std::vector<ReplacedElement>>();
};

// A folder chain, from the folder shown up to the root: `titles[0]` is the
// folder shown, each next one its parent.
class HostFolderView final : public DocumentObject<NotImplementedIShellFolderViewDual> {
public:
    // As the only title: a view whose get_Folder fails, as a folder that
    // went away does.
    static constexpr const wchar_t* kUnreadable = L"<unreadable>";

    static qz_support::ComPtr<HostFolderView> Create(std::vector<std::wstring> titles);

    STDMETHODIMP get_Folder(Folder** folder) override;

private:
    explicit HostFolderView(std::vector<std::wstring> titles) : titles_(std::move(titles)) {}
    std::vector<std::wstring> titles_;
};

}  // namespace sentrel::host
