// SPDX-License-Identifier: GPL-3.0-or-later
// The window's first frame, pixel for pixel, against the one it has drawn
// since its look was settled (first_frame.png): a change in how it is built
// (how its colours are set, what is made before it is shown) must not show.
// After a deliberate change of the look, write the new reference with
//     TONFIELD_WRITE_FIRST_FRAME=1 build-test/tests/first_frame_view_test

#include "app/desktop_app.hpp"

#include "view_fixture.hpp"
#include "view_test_main.hpp"

#include <QDir>
#include <QImage>
#include <QMainWindow>
#include <QTest>

using namespace tonfield;

namespace {

const QString reference = QStringLiteral(TONFIELD_SOURCE_DIR "/tests/views/first_frame.png");

// Where two frames differ: the number of pixels and the box around them.
QString difference(const QImage& shown, const QImage& expected)
{
    if (shown.size() != expected.size())
        return QString("size %1x%2, expected %3x%4")
            .arg(shown.width())
            .arg(shown.height())
            .arg(expected.width())
            .arg(expected.height());
    int count = 0;
    QRect box;
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x)
            if (shown.pixel(x, y) != expected.pixel(x, y)) {
                ++count;
                box |= QRect(x, y, 1, 1);
            }
    if (count == 0)
        return {};
    return QString("%1 pixels differ within %2,%3 %4x%5")
        .arg(count)
        .arg(box.x())
        .arg(box.y())
        .arg(box.width())
        .arg(box.height());
}

} // namespace

class FirstFrameTest final : public QObject {
    Q_OBJECT

private slots:
    void theFirstFrameLooksAsItAlwaysHas()
    {
        test::ViewFixture f;
        app::DesktopApp desktop(*qApp, *f.workbench);
        desktop.show();
        QVERIFY(QTest::qWaitForWindowExposed(&desktop.window()));
        for (int pass = 0; pass < 3; ++pass)
            QCoreApplication::processEvents();
        const QImage shown =
            desktop.window().grab().toImage().convertToFormat(QImage::Format_RGB32);
        if (qEnvironmentVariableIsSet("TONFIELD_WRITE_FIRST_FRAME")) {
            QVERIFY(shown.save(reference));
            QSKIP("the reference was written");
        }
        QImage expected(reference);
        QVERIFY2(!expected.isNull(), qPrintable("no reference at " + reference));
        const QString differs = difference(shown, expected.convertToFormat(QImage::Format_RGB32));
        if (!differs.isEmpty())
            shown.save(QDir::temp().filePath("first_frame_shown.png"));
        QVERIFY2(differs.isEmpty(),
                 qPrintable(differs + " (the frame drawn is in " +
                            QDir::temp().filePath("first_frame_shown.png") + ")"));
    }
};

TONFIELD_VIEW_TEST_MAIN(FirstFrameTest)

#include "first_frame_test.moc"
