#pragma once
// Counted references to objects of the library's object model, and the base
// of the objects we hand to the library. One of our objects may offer several
// interfaces: each is a view (its table pointer first, then the owner), and
// every view shares the owner's one atomic count. Nothing may throw into the
// library's frames: each entry runs through Guarded, which turns an exception
// into a failure code.

#include <atomic>
#include <cstdint>
#include <new>
#include <utility>

#include "containers/archive/arc_interfaces.h"

namespace containers::archive {

// A counted reference to any object of the model (ours or the library's).
class ComRef {
public:
    ComRef() = default;
    // Takes over a reference the caller already holds.
    static ComRef Adopt(void* object) {
        ComRef r;
        r.object_ = object;
        return r;
    }
    // Adds a reference of its own.
    static ComRef Share(void* object) {
        if (object) TableOf<UnknownVtbl>(object).AddRef(object);
        return Adopt(object);
    }
    ComRef(const ComRef& other) : object_(other.object_) {
        if (object_) TableOf<UnknownVtbl>(object_).AddRef(object_);
    }
    ComRef(ComRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    ComRef& operator=(ComRef other) noexcept {
        std::swap(object_, other.object_);
        return *this;
    }
    ~ComRef() { Reset(); }

    void Reset() {
        if (void* o = std::exchange(object_, nullptr)) TableOf<UnknownVtbl>(o).Release(o);
    }
    void* get() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }
    // Where the library puts an object it hands out; any previous one is released.
    void** Out() {
        Reset();
        return &object_;
    }
    // Gives up the reference (to hand it to the library as an out value).
    void* Detach() { return std::exchange(object_, nullptr); }

    // Another interface of the same object; empty when it has none.
    ComRef Query(const Guid& iid) const {
        ComRef r;
        if (object_ && TableOf<UnknownVtbl>(object_).QueryInterface(object_, &iid, r.Out()) != kOk) r.object_ = nullptr;
        return r;
    }
    template <typename Vtbl>
    const Vtbl& Table() const {
        return TableOf<Vtbl>(object_);
    }

private:
    void* object_ = nullptr;
};

class ComObject;

// What the library holds a pointer to: the table first, as its model demands.
struct ComView {
    const void* table;
    ComObject* owner;
};

class ComObject {
public:
    uint32_t AddRef() noexcept { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
    uint32_t Release() noexcept {
        const uint32_t left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0) delete this;
        return left;
    }
    HResult QueryInterface(const Guid* iid, void** out) noexcept {
        if (!out) return kInvalidArg;
        *out = nullptr;
        if (!iid) return kInvalidArg;
        ComView* view = FindView(*iid);
        if (!view) return kNoInterface;
        AddRef();
        *out = view;
        return kOk;
    }
    // A counted reference to one of our views.
    ComRef Ref(ComView& view) { return ComRef::Share(&view); }

protected:
    ComObject() = default;
    virtual ~ComObject() = default;
    // The view answering iid (base interfaces included), null when none.
    virtual ComView* FindView(const Guid& iid) = 0;

private:
    std::atomic<uint32_t> refs_{0};
};

template <typename T>
T* OwnerOf(void* self) {
    return static_cast<T*>(static_cast<ComView*>(self)->owner);
}

// Runs an entry of ours; an exception becomes a failure code, never a throw
// through the library.
template <typename F>
HResult Guarded(F&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return kOutOfMemory;
    } catch (...) {
        return kFail;
    }
}

inline HResult ViewQueryInterface(void* self, const Guid* iid, void** out) {
    return static_cast<ComView*>(self)->owner->QueryInterface(iid, out);
}
inline uint32_t ViewAddRef(void* self) { return static_cast<ComView*>(self)->owner->AddRef(); }
inline uint32_t ViewRelease(void* self) { return static_cast<ComView*>(self)->owner->Release(); }
constexpr UnknownVtbl kViewUnknown{ViewQueryInterface, ViewAddRef, ViewRelease};

}  // namespace containers::archive
