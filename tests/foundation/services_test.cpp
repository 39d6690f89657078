// The seam mechanism every layer uses: the stand-in answers until services are
// installed, null restores it, and a scope puts back what it found even when it
// is left early.

#include "foundation/services.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

namespace {

class IGreeting {
public:
    virtual ~IGreeting() = default;
    virtual int Answer() = 0;
};
class Silent final : public IGreeting {
public:
    int Answer() override { return 0; }
};
class Fixed final : public IGreeting {
public:
    explicit Fixed(int value) : value_(value) {}
    int Answer() override { return value_; }

private:
    int value_;
};

foundation::ServiceSlot<IGreeting, Silent>& GreetingSlot() {
    static foundation::ServiceSlot<IGreeting, Silent> slot;
    return slot;
}
IGreeting* SetGreeting(IGreeting* services) { return GreetingSlot().Install(services); }

TEST(Services, NullRestoresTheStandInAndTheInstallerReturnsWhatItReplaced) {
    EXPECT_EQ(GreetingSlot().Get().Answer(), 0);
    EXPECT_EQ(GreetingSlot().Installed(), nullptr);
    Fixed one(1);
    EXPECT_EQ(SetGreeting(&one), nullptr);
    EXPECT_EQ(GreetingSlot().Get().Answer(), 1);
    EXPECT_EQ(SetGreeting(nullptr), &one);
    EXPECT_EQ(GreetingSlot().Get().Answer(), 0);
}

TEST(Services, NestedScopesRestoreInTurn) {
    Fixed one(1), two(2);
    {
        foundation::ScopedServices<SetGreeting> outer(&one);
        {
            foundation::ScopedServices<SetGreeting> inner(&two);
            EXPECT_EQ(GreetingSlot().Get().Answer(), 2);
        }
        EXPECT_EQ(GreetingSlot().Get().Answer(), 1);
    }
    EXPECT_EQ(GreetingSlot().Installed(), nullptr);
}

// A failed fatal assertion leaves the test function at once; the scope still
// uninstalls, so the next test sees the stand-in.
void FailInsideAScope(Fixed& services) {
    foundation::ScopedServices<SetGreeting> scope(&services);
    ASSERT_EQ(GreetingSlot().Get().Answer(), -1) << "expected to fail";
}

TEST(Services, AFailedAssertionLeavesNothingInstalled) {
    static Fixed seven(7);
    EXPECT_FATAL_FAILURE(FailInsideAScope(seven), "expected to fail");
    EXPECT_EQ(GreetingSlot().Installed(), nullptr);
}

}  // namespace
