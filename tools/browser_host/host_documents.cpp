#include "tools/browser_host/host_documents.h"

#include "support/unique_any.h"

namespace sentrel::host {
namespace {

using qz_support::ComPtr;

class HtmlElement final : public DocumentObject<NotImplementedIHTMLElement> {
public:
    HtmlElement(std::wstring name, std::shared_ptr<std::vector<ReplacedElement>> replaced)
        : name_(std::move(name)), replaced_(std::move(replaced)) {}

    STDMETHODIMP put_outerHTML(BSTR html) override {
        replaced_->push_back({name_, html ? std::wstring(html, SysStringLen(html)) : std::wstring()});
        return S_OK;
    }

private:
    std::wstring name_;
    std::shared_ptr<std::vector<ReplacedElement>> replaced_;
};

class HtmlCollection final : public DocumentObject<NotImplementedIHTMLElementCollection> {
public:
    HtmlCollection(std::shared_ptr<std::vector<std::wstring>> names,
                   std::shared_ptr<std::vector<ReplacedElement>> replaced)
        : names_(std::move(names)), replaced_(std::move(replaced)) {}

    // By name only, as the agent asks; an unknown name gives S_OK and null.
    STDMETHODIMP item(VARIANT name, VARIANT, IDispatch** found) override {
        if (!found) return E_POINTER;
        *found = nullptr;
        if (V_VT(&name) != VT_BSTR || !V_BSTR(&name)) return S_OK;
        const std::wstring wanted(V_BSTR(&name), SysStringLen(V_BSTR(&name)));
        for (const std::wstring& candidate : *names_) {
            if (candidate == wanted) {
                *found = new HtmlElement(candidate, replaced_);
                return S_OK;
            }
        }
        return S_OK;
    }

private:
    std::shared_ptr<std::vector<std::wstring>> names_;
    std::shared_ptr<std::vector<ReplacedElement>> replaced_;
};

class HostFolder final : public DocumentObject<NotImplementedFolder> {
public:
    HostFolder(const std::vector<std::wstring>& titles, size_t index) : titles_(titles), index_(index) {}

    STDMETHODIMP get_Title(BSTR* title) override {
        if (!title) return E_POINTER;
        *title = SysAllocString(titles_[index_].c_str());
        return S_OK;
    }
    // The root has no parent: S_FALSE and null.
    STDMETHODIMP get_ParentFolder(Folder** parent) override {
        if (!parent) return E_POINTER;
        *parent = index_ + 1 < titles_.size() ? new HostFolder(titles_, index_ + 1) : nullptr;
        return *parent ? S_OK : S_FALSE;
    }

private:
    std::vector<std::wstring> titles_;
    size_t index_;
};

}  // namespace

ComPtr<HtmlDocument> HtmlDocument::Create() {
    return ComPtr<HtmlDocument>::Attach(new HtmlDocument);
}

void HtmlDocument::AddElement(const std::wstring& name) {
    names_->push_back(name);
}

STDMETHODIMP HtmlDocument::get_all(IHTMLElementCollection** all) {
    if (!all) return E_POINTER;
    *all = new HtmlCollection(names_, replaced_);
    return S_OK;
}

ComPtr<HostFolderView> HostFolderView::Create(std::vector<std::wstring> titles) {
    return ComPtr<HostFolderView>::Attach(new HostFolderView(std::move(titles)));
}

STDMETHODIMP HostFolderView::get_Folder(Folder** folder) {
    if (!folder) return E_POINTER;
    *folder = nullptr;
    if (titles_.size() == 1 && titles_[0] == kUnreadable) return E_FAIL;
    *folder = titles_.empty() ? nullptr : new HostFolder(titles_, 0);
    return S_OK;
}

}  // namespace sentrel::host
