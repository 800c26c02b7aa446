// IUnknown written once. A COM class derives from ComObject, naming what its
// references count (a lifetime, below) and the interfaces it implements, in
// the order QueryInterface tries them:
//
//   class Site final : public ComObject<DeletedWithLastReference, IOleCommandTarget, IServiceProvider> {...};
//   class Agent final : public AggregatableComObject<IObjectWithSite, Answers<IPersistStream, IPersist>> {...};
//
// IUnknown is answered with the first listed interface, each listed one with
// its own id and the ids its Answers entry adds. Every refusal is
// E_NOINTERFACE with a null out pointer; a null out pointer is E_POINTER.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <type_traits>
#include <utility>

namespace qz_support {

// A list entry whose pointer also answers the ids of `Also`: interfaces that
// `Implemented` derives from (IPersist for IPersistStream; IDispatch and the
// older versions for a dual interface). `Implemented` is the interface, or a
// class implementing it that names it as `Implemented::Interface`.
template <typename Implemented, typename... Also>
struct Answers;

// Lifetimes: what an object's count counts and what its last Release does.
// Each has AddReference and ReleaseReference, which return the new count,
// and says whether the object is deleted when the count reaches zero.

// Deleted with its last reference. The count starts at one, the creator's.
class DeletedWithLastReference {
public:
    static constexpr bool kDeletedAtZero = true;

    LONG AddReference() { return InterlockedIncrement(&references_); }
    LONG ReleaseReference() { return InterlockedDecrement(&references_); }
    // A reference unless the count has reached zero, for a caller that may
    // meet the object while its last Release runs.
    bool TryAddReference() {
        for (LONG count = references_; count > 0;) {
            const LONG seen = InterlockedCompareExchange(&references_, count + 1, count);
            if (seen == count) return true;
            count = seen;
        }
        return false;
    }

private:
    volatile LONG references_ = 1;
};

// Counts nothing: an object that lives as long as its owner, such as a
// class object on the server's stack. AddRef answers 2 and Release 1.
class NotCounted {
public:
    static constexpr bool kDeletedAtZero = false;

    LONG AddReference() { return 2; }
    LONG ReleaseReference() { return 1; }
};

// `Module` is a type with Lock() and Unlock() that return the module's new
// lock count; a reference type (Server&) names a module object held elsewhere.

// Kept for the process, and holding one module lock while it has references:
// a library's class object keeps its library loaded while a client holds it.
template <typename Module>
class LocksModuleWhileReferenced {
public:
    static constexpr bool kDeletedAtZero = false;

    explicit LocksModuleWhileReferenced(Module module) : module_(module) {}
    LONG AddReference() {
        const LONG count = InterlockedIncrement(&references_);
        if (count == 1) module_.Lock();
        return count;
    }
    LONG ReleaseReference() {
        const LONG count = InterlockedDecrement(&references_);
        if (count == 0) module_.Unlock();
        return count;
    }

private:
    Module module_;
    volatile LONG references_ = 0;
};

// Every reference is a module lock, and the module's count is the answer:
// the one object of a local server, which Release never destroys.
template <typename Module>
class EachReferenceLocksModule {
public:
    static constexpr bool kDeletedAtZero = false;

    explicit EachReferenceLocksModule(Module module) : module_(module) {}
    LONG AddReference() { return module_.Lock(); }
    LONG ReleaseReference() { return module_.Unlock(); }

private:
    Module module_;
};

namespace detail {

// The interface a listed class stands for: itself, or the one it names.
template <typename Listed, typename = void>
struct NamedInterface {
    using Type = Listed;
};
template <typename Listed>
struct NamedInterface<Listed, std::void_t<typename Listed::Interface>> {
    using Type = typename Listed::Interface;
};

template <typename Entry>
struct EntryTraits {
    using Base = Entry;
    static bool AlsoAnswers(REFIID) { return false; }
};
template <typename Implemented, typename... Also>
struct EntryTraits<Answers<Implemented, Also...>> {
    using Base = Implemented;
    static bool AlsoAnswers(REFIID iid) { return (IsEqualIID(iid, __uuidof(Also)) || ...); }
};

template <typename Entry>
using EntryBase = typename EntryTraits<Entry>::Base;
template <typename Entry>
using EntryInterface = typename NamedInterface<EntryBase<Entry>>::Type;

template <typename Entry, typename Object>
IUnknown* InterfaceOf(Object* object) {
    return static_cast<EntryInterface<Entry>*>(static_cast<EntryBase<Entry>*>(object));
}

template <typename Entry, typename Object>
IUnknown* Match(Object* object, REFIID iid) {
    if (!IsEqualIID(iid, __uuidof(EntryInterface<Entry>)) && !EntryTraits<Entry>::AlsoAnswers(iid)) return nullptr;
    return InterfaceOf<Entry>(object);
}

// The first entry that answers `iid`, in list order; null when none does.
template <typename... Entries, typename Object>
IUnknown* FindListed(Object* object, REFIID iid) {
    IUnknown* found = nullptr;
    ((found = Match<Entries>(object, iid)) || ...);
    return found;
}

template <typename First, typename... Rest>
struct FirstOf {
    using Type = First;
};

// Hands `found` out with a reference of its own.
inline HRESULT Answer(IUnknown* found, void** object) {
    *object = found;
    if (!found) return E_NOINTERFACE;
    found->AddRef();
    return S_OK;
}

}  // namespace detail

template <typename Lifetime, typename... Entries>
class ComObject : public detail::EntryBase<Entries>... {
    static_assert(sizeof...(Entries) > 0, "a COM object implements at least one interface");

public:
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    STDMETHODIMP QueryInterface(REFIID iid, void** object) final {
        if (!object) return E_POINTER;
        IUnknown* found = nullptr;
        if (IsEqualIID(iid, IID_IUnknown)) {
            found = detail::InterfaceOf<typename detail::FirstOf<Entries...>::Type>(this);
        } else if (OffersInterface(iid)) {
            found = detail::FindListed<Entries...>(this, iid);
        }
        return detail::Answer(found, object);
    }
    STDMETHODIMP_(ULONG) AddRef() final { return static_cast<ULONG>(lifetime_.AddReference()); }
    STDMETHODIMP_(ULONG) Release() final {
        const LONG count = lifetime_.ReleaseReference();
        if constexpr (Lifetime::kDeletedAtZero) {
            if (count == 0) delete this;
        }
        return static_cast<ULONG>(count);
    }

protected:
    ComObject() = default;
    // Arguments for the lifetime, such as the module it locks.
    template <typename First, typename... Rest>
    explicit ComObject(First&& first, Rest&&... rest)
        : lifetime_(std::forward<First>(first), std::forward<Rest>(rest)...) {}
    virtual ~ComObject() = default;

    // Whether a listed interface other than IUnknown is answered now: an
    // object whose interfaces depend on its state says so here.
    virtual bool OffersInterface(REFIID) const { return true; }

private:
    Lifetime lifetime_;
};

// A class that can be aggregated. The IUnknown methods of its interfaces go
// to the controlling unknown: the outer object when it has one, else its own
// inner (non-delegating) unknown, which counts the references and deletes the
// object with the last. The inner unknown holds the creator's reference from
// construction; it answers IUnknown with itself when the object is
// aggregated, and with the first listed interface when it stands alone.
template <typename... Entries>
class AggregatableComObject : public detail::EntryBase<Entries>... {
    static_assert(sizeof...(Entries) > 0, "a COM object implements at least one interface");

public:
    AggregatableComObject(const AggregatableComObject&) = delete;
    AggregatableComObject& operator=(const AggregatableComObject&) = delete;

    STDMETHODIMP QueryInterface(REFIID iid, void** object) final { return outer_->QueryInterface(iid, object); }
    STDMETHODIMP_(ULONG) AddRef() final { return outer_->AddRef(); }
    STDMETHODIMP_(ULONG) Release() final { return outer_->Release(); }

    IUnknown* NonDelegatingUnknown() { return &inner_; }

protected:
    explicit AggregatableComObject(IUnknown* outer) : outer_(outer ? outer : &inner_) {}
    virtual ~AggregatableComObject() = default;

    // An inner reference unless the count has reached zero.
    bool TryAddInnerReference() { return inner_.references.TryAddReference(); }

private:
    class Inner final : public IUnknown {
    public:
        explicit Inner(AggregatableComObject& object) : object_(object) {}

        STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
            if (!object) return E_POINTER;
            IUnknown* found = nullptr;
            if (IsEqualIID(iid, IID_IUnknown)) {
                found = object_.outer_ != this
                            ? static_cast<IUnknown*>(this)
                            : detail::InterfaceOf<typename detail::FirstOf<Entries...>::Type>(&object_);
            } else {
                found = detail::FindListed<Entries...>(&object_, iid);
            }
            return detail::Answer(found, object);
        }
        STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(references.AddReference()); }
        STDMETHODIMP_(ULONG) Release() override {
            const LONG count = references.ReleaseReference();
            if (count == 0) delete &object_;
            return static_cast<ULONG>(count);
        }

        DeletedWithLastReference references;

    private:
        AggregatableComObject& object_;
    };

    Inner inner_{*this};
    IUnknown* outer_;
};

}  // namespace qz_support
