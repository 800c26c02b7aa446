#include "support/com_error.h"
#include "support/com_object.h"
#include "support/com_ptr.h"
#include "support/entry_points.h"
#include "support/unique_any.h"
#include "support/unique_variant.h"

#include <gtest/gtest.h>

#include <new>

#include <oleauto.h>

#include <utility>

namespace qz_support {
namespace {

HRESULT FailWithErrorInfo(HRESULT hr, const wchar_t* description) {
    ICreateErrorInfo* create = nullptr;
    if (SUCCEEDED(CreateErrorInfo(&create))) {
        create->SetDescription(const_cast<LPOLESTR>(description));
        IErrorInfo* info = nullptr;
        create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info));
        SetErrorInfo(0, info);
        info->Release();
        create->Release();
    }
    return hr;
}

// An object that says it supports error information for IStream only.
class StreamErrors final : public ComObject<NotCounted, ISupportErrorInfo> {
public:
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID iid) override {
        return IsEqualIID(iid, IID_IStream) ? S_OK : S_FALSE;
    }
};

// The description that a raised error carries; "<none>" without error information.
std::wstring CarriedDescription(HRESULT hr, IUnknown* object, REFIID iid) {
    try {
        ThrowIfFailed(hr, object, iid);
    } catch (const _com_error& error) {
        EXPECT_EQ(error.Error(), hr);
        const auto info = ComPtr<IErrorInfo>::Attach(error.ErrorInfo());
        if (!info) return L"<none>";
        UniqueBstr description;
        info->GetDescription(description.put());
        return description ? description.get() : L"";
    }
    ADD_FAILURE() << "did not raise";
    return L"";
}

// The COM object base.

// A module whose locks are counted here.
struct CountedModule {
    LONG locks = 0;
    LONG Lock() { return ++locks; }
    LONG Unlock() { return --locks; }
};

// Persistence (IPersist answered by IPersistStream) and error information;
// records its destruction.
template <typename Base>
class PersistedParts : public Base {
public:
    template <typename... Arguments>
    explicit PersistedParts(bool& destroyed, Arguments&&... arguments)
        : Base(std::forward<Arguments>(arguments)...), destroyed_(destroyed) {}
    ~PersistedParts() override { destroyed_ = true; }

    STDMETHODIMP GetClassID(CLSID*) override { return E_NOTIMPL; }
    STDMETHODIMP IsDirty() override { return S_FALSE; }
    STDMETHODIMP Load(IStream*) override { return E_NOTIMPL; }
    STDMETHODIMP Save(IStream*, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP GetSizeMax(ULARGE_INTEGER*) override { return E_NOTIMPL; }
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID) override { return S_OK; }

private:
    bool& destroyed_;
};

class Persisted final
    : public PersistedParts<ComObject<DeletedWithLastReference, Answers<IPersistStream, IPersist>, ISupportErrorInfo>> {
public:
    using PersistedParts::PersistedParts;
    bool offersErrorInfo = true;

private:
    bool OffersInterface(REFIID iid) const override {
        return offersErrorInfo || !IsEqualIID(iid, IID_ISupportErrorInfo);
    }
};

class AggregatablePersisted final
    : public PersistedParts<AggregatableComObject<Answers<IPersistStream, IPersist>, ISupportErrorInfo>> {
public:
    using PersistedParts::PersistedParts;
    bool TryRetain() { return TryAddInnerReference(); }
};

// An outer object whose references are the module's locks, so they can be read.
class Outer final : public ComObject<EachReferenceLocksModule<CountedModule&>, IUnknown> {
public:
    explicit Outer(CountedModule& module) : ComObject(module) {}
};

enum class Answer { PersistStream, ErrorInfo, Refused };

// Queries `object` for `iid`: the outcome, the pointer compared with the
// object's interfaces, and the new reference released again.
Answer Query(Persisted& object, REFIID iid) {
    void* out = reinterpret_cast<void*>(1);
    const HRESULT hr = object.QueryInterface(iid, &out);
    if (hr == E_NOINTERFACE) {
        EXPECT_EQ(out, nullptr) << "a refusal leaves a null pointer";
        return Answer::Refused;
    }
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(static_cast<IUnknown*>(out)->Release(), 1u) << "the answer carried one reference";
    if (out == static_cast<IPersistStream*>(&object)) return Answer::PersistStream;
    if (out == static_cast<ISupportErrorInfo*>(&object)) return Answer::ErrorInfo;
    ADD_FAILURE() << "an unknown pointer";
    return Answer::Refused;
}

TEST(ComObject, AnswersTheListedInterfacesInOrderAndRefusesTheRest) {
    const struct {
        const char* name;
        const IID* iid;
        bool offersErrorInfo;
        Answer expected;
    } cases[] = {
        {"IUnknown: the first entry", &IID_IUnknown, true, Answer::PersistStream},
        {"an entry's own id", &IID_IPersistStream, true, Answer::PersistStream},
        {"an id the entry adds", &IID_IPersist, true, Answer::PersistStream},
        {"the second entry", &IID_ISupportErrorInfo, true, Answer::ErrorInfo},
        {"not listed", &IID_IDispatch, true, Answer::Refused},
        {"not listed either", &IID_IStream, true, Answer::Refused},
        {"listed, not offered now", &IID_ISupportErrorInfo, false, Answer::Refused},
        {"IUnknown, whatever is offered", &IID_IUnknown, false, Answer::PersistStream},
    };
    bool destroyed = false;
    auto* object = new Persisted(destroyed);
    for (const auto& test : cases) {
        object->offersErrorInfo = test.offersErrorInfo;
        EXPECT_EQ(Query(*object, *test.iid), test.expected) << test.name;
    }
    EXPECT_EQ(object->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    EXPECT_EQ(object->AddRef(), 2u);
    EXPECT_EQ(object->Release(), 1u);
    EXPECT_FALSE(destroyed);
    EXPECT_EQ(object->Release(), 0u) << "the creator's reference was the only one";
    EXPECT_TRUE(destroyed);
}

// Two references taken and given back: what AddRef and Release answered and
// the module's locks after each step.
struct Counts {
    ULONG answers[4];
    LONG locks[4];
    bool operator==(const Counts&) const = default;
};

template <typename Lifetime>
Counts CountTwoReferences(CountedModule& module, Lifetime lifetime) {
    class Object final : public ComObject<Lifetime, ISupportErrorInfo> {
    public:
        explicit Object(Lifetime lifetime) : ComObject<Lifetime, ISupportErrorInfo>(std::move(lifetime)) {}
        STDMETHODIMP InterfaceSupportsErrorInfo(REFIID) override { return S_OK; }
    } object(std::move(lifetime));
    Counts counts{};
    counts.answers[0] = object.AddRef();
    counts.locks[0] = module.locks;
    counts.answers[1] = object.AddRef();
    counts.locks[1] = module.locks;
    counts.answers[2] = object.Release();
    counts.locks[2] = module.locks;
    counts.answers[3] = object.Release();
    counts.locks[3] = module.locks;
    return counts;
}

TEST(ComObject, LifetimesCountAsTheyPromise) {
    CountedModule module;
    EXPECT_EQ(CountTwoReferences(module, NotCounted()), (Counts{{2, 2, 1, 1}, {0, 0, 0, 0}}));
    EXPECT_EQ(CountTwoReferences(module, LocksModuleWhileReferenced<CountedModule&>(module)),
              (Counts{{1, 2, 1, 0}, {1, 1, 1, 0}}))
        << "one lock while referenced";
    module.locks = 5;  // other locks of the module
    EXPECT_EQ(CountTwoReferences(module, EachReferenceLocksModule<CountedModule&>(module)),
              (Counts{{6, 7, 6, 5}, {6, 7, 6, 5}}))
        << "every reference a lock, and the module's count the answer";

    DeletedWithLastReference references;
    EXPECT_TRUE(references.TryAddReference());
    EXPECT_EQ(references.ReleaseReference(), 1);
    EXPECT_EQ(references.ReleaseReference(), 0);
    EXPECT_FALSE(references.TryAddReference()) << "none once the count reached zero";
    EXPECT_EQ(references.AddReference(), 1) << "the failed attempt left the count alone";
}

TEST(AggregatableComObject, AggregatedItDelegatesToTheOuterObjectAndKeepsItsOwnIdentity) {
    CountedModule outerReferences;
    Outer outer(outerReferences);
    bool destroyed = false;
    auto* object = new AggregatablePersisted(destroyed, &outer);
    IUnknown* inner = object->NonDelegatingUnknown();

    IUnknown* identity = nullptr;
    ASSERT_EQ(inner->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
    EXPECT_EQ(identity, inner) << "the inner unknown is the aggregated object's own IUnknown";
    EXPECT_EQ(identity->Release(), 1u);

    IPersist* persist = nullptr;
    ASSERT_EQ(inner->QueryInterface(IID_IPersist, reinterpret_cast<void**>(&persist)), S_OK);
    EXPECT_EQ(persist, static_cast<IPersistStream*>(object));
    EXPECT_EQ(outerReferences.locks, 1) << "the interface's reference is the outer object's";
    IUnknown* outerIdentity = nullptr;
    ASSERT_EQ(persist->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&outerIdentity)), S_OK);
    EXPECT_EQ(outerIdentity, static_cast<IUnknown*>(&outer)) << "the interfaces answer for the outer object";
    outerIdentity->Release();
    persist->Release();
    EXPECT_EQ(outerReferences.locks, 0);

    void* refused = reinterpret_cast<void*>(1);
    EXPECT_EQ(inner->QueryInterface(IID_IDispatch, &refused), E_NOINTERFACE);
    EXPECT_EQ(refused, nullptr);
    EXPECT_EQ(inner->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    EXPECT_FALSE(destroyed);
    EXPECT_EQ(inner->Release(), 0u);
    EXPECT_TRUE(destroyed);
}

TEST(AggregatableComObject, AloneItsIdentityIsTheFirstInterface) {
    bool destroyed = false;
    auto* object = new AggregatablePersisted(destroyed, nullptr);
    IUnknown* identity = nullptr;
    ASSERT_EQ(object->NonDelegatingUnknown()->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
    EXPECT_EQ(identity, static_cast<IUnknown*>(static_cast<IPersistStream*>(object)));
    ISupportErrorInfo* errors = nullptr;
    ASSERT_EQ(identity->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&errors)), S_OK);
    EXPECT_EQ(errors, static_cast<ISupportErrorInfo*>(object));
    EXPECT_TRUE(object->TryRetain());
    EXPECT_EQ(object->Release(), 3u) << "every interface counts on the inner unknown";
    EXPECT_EQ(errors->Release(), 2u);
    EXPECT_EQ(identity->Release(), 1u);
    EXPECT_FALSE(destroyed);
    EXPECT_EQ(object->NonDelegatingUnknown()->Release(), 0u);
    EXPECT_TRUE(destroyed);
}

TEST(ThrowIfFailed, CarriesErrorInformationOnlyWhenItBelongsToTheFailure) {
    StreamErrors object;
    EXPECT_EQ(CarriedDescription(FailWithErrorInfo(E_ACCESSDENIED, L"no access here"), &object, IID_IStream),
              L"no access here");
    EXPECT_EQ(CarriedDescription(FailWithErrorInfo(E_ACCESSDENIED, L"left over"), &object, IID_IStorage), L"<none>")
        << "the object does not vouch for this interface";
    EXPECT_EQ(CarriedDescription(FailWithErrorInfo(E_ACCESSDENIED, L"left over"), nullptr, IID_NULL), L"<none>");
    ComPtr<IErrorInfo> stale;
    EXPECT_EQ(GetErrorInfo(0, stale.put()), S_FALSE) << "the left-over information is not kept on the thread";
    EXPECT_EQ(ThrowIfFailed(S_FALSE), S_FALSE);
}

TEST(CheckPointer, NullRaisesEPointer) {
    IUnknown* none = nullptr;
    try {
        CheckPointer(none);
        FAIL() << "did not raise";
    } catch (const _com_error& error) {
        EXPECT_EQ(error.Error(), E_POINTER);
    }
    ComPtr<IUnknown> empty;
    EXPECT_THROW(empty->AddRef(), _com_error);
    EXPECT_FALSE(empty.try_query<IStream>());
    EXPECT_THROW(empty.query<IStream>(), _com_error);
}

TEST(Guards, RecordTheFramesTheThreadIsIn) {
    EXPECT_TRUE(CurrentCallStack().empty());
    {
        CComEntryPoint outer("Agent", 10, nullptr, IID_IUnknown, CLSID_NULL);
        {
            CMessageEntryPoint inner("SentrelController", 78, nullptr, WM_COMMAND);
            const auto stack = CurrentCallStack();
            ASSERT_EQ(stack.size(), 2u);
            EXPECT_STREQ(stack[0].file, "Agent");
            EXPECT_EQ(stack[1].line, 78);
            EXPECT_EQ(stack[1].message, static_cast<UINT>(WM_COMMAND));
        }
        EXPECT_EQ(CurrentCallStack().size(), 1u);
    }
    EXPECT_TRUE(CurrentCallStack().empty());
}

TEST(ShowError, SendsTheDescriptionAndTheInnermostFrameToTheDisplay) {
    std::wstring shown;
    auto previous = SetErrorDisplay([&](const std::wstring& text) { shown = text; });
    {
        CCallStackEntry frame("Hook", 42, nullptr);
        EXPECT_TRUE(ShowError(_com_error(E_ACCESSDENIED), 30, true));
    }
    EXPECT_NE(shown.find(L"0x80070005"), std::wstring::npos) << shown;
    EXPECT_NE(shown.find(L"Hook, line 42"), std::wstring::npos) << shown;
    // A report is recorded, not shown.
    shown.clear();
    EXPECT_EQ(ReportError(E_UNEXPECTED), E_UNEXPECTED);
    EXPECT_TRUE(shown.empty());
    EXPECT_NE(LastReportedError().find(L"0x8000FFFF"), std::wstring::npos);
    SetErrorDisplay(previous);
}

TEST(RunGuarded, ReportsWhatTheWorkRaisesWithItsFrameAndReturnsWhetherItEnded) {
    struct Case {
        const char* what;
        void (*work)();
        bool ended;
        const wchar_t* reported;  // the HRESULT the report names; null: no report
    };
    const Case cases[] = {
        {"nothing raised", [] {}, true, nullptr},
        {"a COM error", [] { throw _com_error(E_ACCESSDENIED); }, false, L"0x80070005"},
        {"no memory", [] { throw std::bad_alloc(); }, false, L"0x8007000E"},
        {"anything else", [] { throw 7; }, false, L"0x8000FFFF"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ReportError(S_OK);  // a known last report
        EXPECT_EQ(RunGuarded("Start", 12, c.work), c.ended);
        EXPECT_TRUE(CurrentCallStack().empty());
        const std::wstring report = LastReportedError();
        if (!c.reported) {
            EXPECT_NE(report.find(L"0x00000000"), std::wstring::npos) << report;
            continue;
        }
        EXPECT_NE(report.find(c.reported), std::wstring::npos) << report;
        EXPECT_NE(report.find(L"Start, line 12"), std::wstring::npos) << report;
    }
}

TEST(SetNextCreateCLSID, IsForgottenByClearExceptionHandler) {
    const CLSID someClass = {0x12345678, 0, 0, {1, 2, 3, 4, 5, 6, 7, 8}};
    SetNextCreateCLSID(someClass);
    EXPECT_TRUE(IsEqualCLSID(NextCreateCLSID(), someClass));
    ClearExceptionHandler();
    EXPECT_TRUE(IsEqualCLSID(NextCreateCLSID(), CLSID_NULL));
}

TEST(Owners, CloseWhatTheyHoldAndHandItOverOnRelease) {
    HANDLE raw = nullptr;
    {
        UniqueHandle event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
        ASSERT_TRUE(event);
        raw = event.get();
        UniqueHandle moved(std::move(event));
        EXPECT_FALSE(event);
        EXPECT_EQ(moved.get(), raw);
    }
    DWORD flags = 0;
    EXPECT_FALSE(GetHandleInformation(raw, &flags)) << "closed with its owner";

    UniqueBstr text(SysAllocString(L"abc"));
    BSTR taken = text.release();
    EXPECT_FALSE(text);
    EXPECT_EQ(SysStringLen(taken), 3u);
    SysFreeString(taken);

    UniqueFile missing(CreateFileA("Z:\\no\\such\\file", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(missing);

    UniqueVariant value;
    V_VT(value.put()) = VT_BSTR;
    V_BSTR(value.put()) = nullptr;  // put() clears first: the variant is empty again
    EXPECT_EQ(V_VT(&value.get()), VT_EMPTY);
}

}  // namespace
}  // namespace qz_support
