#pragma once
// A suite of widget tests with an application object of its own. The program tests make and end
// one per test; a suite's goes when the suite ends, so that the next one can make theirs.

#include "WidgetApplication.h"

#include <QApplication>

#include <gtest/gtest.h>

namespace vl::test {

class WidgetSuite : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_app = ensureWidgetApplication("app_tests");
    }
    static void TearDownTestSuite()
    {
        delete s_app;
        s_app = nullptr;
    }

private:
    static inline QApplication* s_app = nullptr;
};

} // namespace vl::test
