// SPDX-License-Identifier: GPL-3.0-or-later
// The least a window can do that shows what Tonfield's first frame shows: the
// same Chinese headline in the same font. Linked with Qt Widgets alone, it is
// what startup_bench measures Tonfield's start against.
//
//     startup_reference child IDLE_SECONDS

#include "first_paint.hpp"

#include <QApplication>
#include <QLabel>

#include <string>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QLabel bare("听见音乐的每一层。");
    QFont font("Noto Sans CJK SC");
    font.setPixelSize(29);
    font.setWeight(QFont::DemiBold);
    bare.setFont(font);
    bare.resize(1240, 860);
    tonfield::bench::FirstPaint probe(bare, argc > 2 ? std::stoi(argv[2]) : 0);
    bare.show();
    return QApplication::exec();
}
