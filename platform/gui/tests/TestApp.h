// One Application for a whole GoogleTest program, made before the first test and ended
// before main returns (Qt cannot be torn down during static destruction).
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "platform/gui/Gui.h"
#include "platform/gui/TestDriver.h"

namespace gui::test {

class AppEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "quorvel-tests";
        static char* argv[] = {name, nullptr};
        m_App = std::make_unique<Application>(argc, argv);
        Enable();
    }
    void TearDown() override {
        Disable();
        m_App.reset();
    }

private:
    std::unique_ptr<Application> m_App;
};

// Include this header in exactly one source file of a test program.
inline ::testing::Environment* const g_AppEnvironment =
    ::testing::AddGlobalTestEnvironment(new AppEnvironment);

}  // namespace gui::test
