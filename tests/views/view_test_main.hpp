// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QApplication>
#include <QTest>

namespace tonfield::test {

// Runs one view test class offscreen, in a process of its own, so that no
// test class sees what another left behind.
template <class Test> int runViewTest(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // As in the application: windows come and go between tests, and the last
    // one closing must not end a later test's dialog.
    QApplication::setQuitOnLastWindowClosed(false);
    Test test;
    return QTest::qExec(&test, argc, argv);
}

} // namespace tonfield::test

#define TONFIELD_VIEW_TEST_MAIN(TestClass)                                                         \
    int main(int argc, char* argv[])                                                               \
    {                                                                                              \
        return tonfield::test::runViewTest<TestClass>(argc, argv);                                 \
    }
