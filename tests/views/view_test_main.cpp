// SPDX-License-Identifier: GPL-3.0-or-later

#include <QApplication>
#include <QTest>

#include <memory>

QObject* makeShellTest();
QObject* makePanelsTest();
QObject* makePageScrollTest();
QObject* makeAppProcessTest();

// One executable runs every view test class, offscreen.
int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // As in the application: windows come and go between tests, and the last
    // one closing must not end a later test's dialog.
    QApplication::setQuitOnLastWindowClosed(false);
    int failures = 0;
    for (auto make : {makeShellTest, makePanelsTest, makePageScrollTest, makeAppProcessTest}) {
        std::unique_ptr<QObject> test(make());
        failures += QTest::qExec(test.get(), argc, argv);
    }
    return failures == 0 ? 0 : 1;
}
