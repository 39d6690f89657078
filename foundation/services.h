#pragma once
// The one mechanism by which a lower layer reaches code that lives higher (or
// that a test replaces): the lower layer declares an interface and a stand-in
// that answers as if the other side were absent, and keeps one slot for it.
// The upper layer installs its implementation with the seam's Set...Services
// at start-up. Installed services are not owned; installing null restores the
// stand-in. The slot is atomic because workers read it while the window thread
// may install; the installer keeps what it installed alive until it is
// replaced.
//
// A seam is then a few lines:
//   inline foundation::ServiceSlot<IThingServices, detail::ThingStandIn>& ThingServicesSlot() {
//       static foundation::ServiceSlot<IThingServices, detail::ThingStandIn> slot;
//       return slot;
//   }
//   inline IThingServices& ThingServices() { return ThingServicesSlot().Get(); }
//   inline IThingServices* SetThingServices(IThingServices* s) { return ThingServicesSlot().Install(s); }

#include <atomic>
#include <type_traits>

namespace foundation {

template <typename Interface, typename StandIn>
class ServiceSlot {
public:
    constexpr ServiceSlot() = default;
    ServiceSlot(const ServiceSlot&) = delete;
    ServiceSlot& operator=(const ServiceSlot&) = delete;

    // The installed services, else the stand-in.
    Interface& Get() noexcept {
        static_assert(std::is_base_of_v<Interface, StandIn>, "the stand-in implements the interface");
        Interface* installed = installed_.load(std::memory_order_acquire);
        return installed ? *installed : StandInInstance();
    }
    // What is installed; null while the stand-in answers.
    Interface* Installed() const noexcept { return installed_.load(std::memory_order_acquire); }
    // Installs services (not owned; null restores the stand-in) and returns
    // what was installed before, so a scope can put it back.
    Interface* Install(Interface* services) noexcept {
        return installed_.exchange(services, std::memory_order_acq_rel);
    }

private:
    // Made on first use, so a slot whose stand-in is defined in a source file
    // can still be declared in a header.
    static StandIn& StandInInstance() noexcept {
        static StandIn standIn;
        return standIn;
    }

    std::atomic<Interface*> installed_{nullptr};
};

// Installs services for a scope and puts back what was installed before, even
// when the scope is left by a failed test assertion. Named by the seam's
// installer:
//   foundation::ScopedServices<image::SetAudioServices> audio{&fakeAudio};
template <typename Installer>
struct ServiceInstallerTraits;
template <typename Interface>
struct ServiceInstallerTraits<Interface* (*)(Interface*)> {
    using Type = Interface;
};
template <typename Interface>
struct ServiceInstallerTraits<Interface* (*)(Interface*) noexcept> {
    using Type = Interface;
};

template <auto Install>
class [[nodiscard]] ScopedServices {
public:
    using Interface = typename ServiceInstallerTraits<decltype(Install)>::Type;

    explicit ScopedServices(Interface* services) : previous_(Install(services)) {}
    ~ScopedServices() { Install(previous_); }
    ScopedServices(const ScopedServices&) = delete;
    ScopedServices& operator=(const ScopedServices&) = delete;

private:
    Interface* previous_;
};

}  // namespace foundation
