// SPDX-License-Identifier: GPL-3.0-or-later
// The least a window can do that shows Tonfield's headline: the same Chinese
// sentence in the same font, and nothing else. Linked with Qt Widgets alone;
// startup_bench measures Tonfield's start against it and against
// same_frame_reference, which shows every text of the first frame.
//
//     startup_reference child IDLE_SECONDS

#include "finished_frame.hpp"

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
    tonfield::bench::FinishedFrame probe(bare, argc > 2 ? std::stoi(argv[2]) : 0);
    bare.show();
    return QApplication::exec();
}
