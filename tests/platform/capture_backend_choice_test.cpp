// Which capture backend a run uses, from its switch, its environment and its session.
#include "platform/CaptureBackendChoice.h"

#include <gtest/gtest.h>

#include <map>

namespace mirelo {
namespace {

CaptureBackendChoice choose(const std::vector<std::string>& arguments,
                            const std::map<std::string, std::string>& environment) {
    return chooseCaptureBackend(arguments, [&](const char* name) -> std::optional<std::string> {
        const auto found = environment.find(name);
        if (found == environment.end()) {
            return std::nullopt;
        }
        return found->second;
    });
}

TEST(CaptureBackendChoice, TheSessionDecidesUnlessASwitchOrTheEnvironmentForcesOne) {
    using K = CaptureBackendKind;
    EXPECT_EQ(choose({}, {}).kind, K::x11);
    EXPECT_EQ(choose({}, {{"DISPLAY", ":0"}, {"XDG_SESSION_TYPE", "x11"}}).kind, K::x11);
    EXPECT_EQ(choose({}, {{"DISPLAY", ":0"}, {"WAYLAND_DISPLAY", "wayland-0"}}).kind, K::portal);
    EXPECT_EQ(choose({}, {{"XDG_SESSION_TYPE", "wayland"}}).kind, K::portal);
    EXPECT_EQ(choose({}, {{"WAYLAND_DISPLAY", ""}}).kind, K::x11);

    const std::map<std::string, std::string> wayland{{"WAYLAND_DISPLAY", "wayland-1"}};
    EXPECT_EQ(choose({}, {{"WAYLAND_DISPLAY", "w"}, {"MIRELO_CAPTURE", "x11"}}).kind, K::x11);
    EXPECT_EQ(choose({}, {{"MIRELO_CAPTURE", "portal"}}).kind, K::portal);
    EXPECT_EQ(choose({"--capture=x11"}, wayland).kind, K::x11);
    EXPECT_EQ(choose({"-v", "--capture", "x11"}, wayland).kind, K::x11);
    // The switch wins over the environment.
    EXPECT_EQ(choose({"--capture=portal"}, {{"MIRELO_CAPTURE", "x11"}}).kind, K::portal);

    for (const CaptureBackendChoice& bad :
         {choose({"--capture=gpu"}, {}), choose({"--capture"}, {}),
          choose({}, {{"MIRELO_CAPTURE", "xll"}})}) {
        ASSERT_TRUE(bad.error);
        EXPECT_NE(bad.error->find("x11 or portal"), std::string::npos) << *bad.error;
    }
    EXPECT_FALSE(choose({"--capture=portal"}, {}).error);
}

}  // namespace
}  // namespace mirelo
