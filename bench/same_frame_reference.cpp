// SPDX-License-Identifier: GPL-3.0-or-later
// A window with no logic that shows what Tonfield's first frame shows: the
// same texts, in the same fonts, sizes, weights and colours, at the same
// places, on the same background. Linked with Qt Widgets alone, it is what
// Tonfield's start is measured against (startup_bench). The texts come from
// a description that `startup_bench describe FILE` writes from Tonfield's
// own finished first frame: one line for the window (width, height,
// background), then one a text (x, y, width, height, pixel size, weight,
// letter spacing, alignment, colour, the text with its line breaks written
// as \n). The icon font's
// symbols are not among them: they are Tonfield's own resource.
//
//     same_frame_reference DESCRIPTION child IDLE_SECONDS

#include "finished_frame.hpp"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPalette>
#include <QTextStream>

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QFile description(argc > 1 ? argv[1] : "");
    if (!description.open(QIODevice::ReadOnly | QIODevice::Text)) {
        std::fprintf(stderr, "same_frame_reference: cannot read the description\n");
        return 1;
    }
    QTextStream lines(&description);
    const QStringList window = lines.readLine().split('\t');
    if (window.size() != 3)
        return 1;
    QWidget frame;
    frame.resize(window[0].toInt(), window[1].toInt());
    QPalette background = frame.palette();
    background.setColor(QPalette::Window, QColor::fromRgba(window[2].toUInt()));
    frame.setPalette(background);
    frame.setAutoFillBackground(true);
    while (!lines.atEnd()) {
        const QStringList field = lines.readLine().split('\t');
        if (field.size() != 10)
            continue;
        auto* label = new QLabel(QString(field[9]).replace("\\n", "\n"), &frame);
        label->setGeometry(field[0].toInt(), field[1].toInt(), field[2].toInt(), field[3].toInt());
        QFont font("Noto Sans CJK SC");
        font.setPixelSize(field[4].toInt());
        font.setWeight(static_cast<QFont::Weight>(field[5].toInt()));
        font.setLetterSpacing(QFont::AbsoluteSpacing, field[6].toDouble());
        label->setFont(font);
        label->setAlignment(Qt::Alignment(field[7].toInt()));
        QPalette colour = label->palette();
        colour.setColor(QPalette::WindowText, QColor::fromRgba(field[8].toUInt()));
        label->setPalette(colour);
    }
    tonfield::bench::FinishedFrame probe(frame, argc > 3 ? std::stoi(argv[3]) : 0);
    frame.show();
    return QApplication::exec();
}
