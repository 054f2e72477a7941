// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/icons.hpp"

#include <QFontDatabase>

#include <cstring>

namespace tonfield::ui::icons {
namespace {

struct Symbol {
    const char* identifier;
    char16_t codepoint; // Material Icons
};

constexpr Symbol symbols[] = {
    {"waveform", 0xe1b8},                    // graphic_eq
    {"waveform.path", 0xe01d},               // equalizer
    {"square.split.2x2", 0xe9b0},            // grid_view
    {"clock.arrow.circlepath", 0xe889},      // history
    {"mic", 0xe029},                         // mic
    {"mic.fill", 0xe029},                    // mic
    {"gearshape", 0xe8b8},                   // settings
    {"desktopcomputer", 0xe30c},             // desktop_windows
    {"square.and.arrow.up", 0xe2c6},         // file_upload
    {"lock.shield", 0xe8e8},                 // verified_user
    {"music.note", 0xe405},                  // music_note
    {"play.circle.fill", 0xe038},            // play_circle_filled
    {"pause.circle.fill", 0xe035},           // pause_circle_filled
    {"arrow.triangle.2.circlepath", 0xe863}, // autorenew
    {"square.stack.3d.up.fill", 0xe53b},     // layers
    {"cpu", 0xe322},                         // memory
    {"largecircle.fill.circle", 0xe837},     // radio_button_checked
    {"circle", 0xe836},                      // radio_button_unchecked
    {"sparkles", 0xe65f},                    // auto_awesome
    {"arrow.right", 0xe5c8},                 // arrow_forward
    {"stop.fill", 0xe047},                   // stop
    {"play.fill", 0xe037},                   // play_arrow
    {"pause.fill", 0xe034},                  // pause
    {"square.and.arrow.down", 0xe2c4},       // file_download
    {"folder", 0xe2c7},                      // folder
    {"checkmark.circle", 0xe92d},            // check_circle_outline
    {"clock", 0xe8b5},                       // schedule
    {"chevron.right", 0xe5cc},               // chevron_right
    {"xmark", 0xe5cd},                       // close
    {"trash", 0xe872},                       // delete
};

const QString& family()
{
    static const QString loaded = [] {
        const int id = QFontDatabase::addApplicationFont(":/fonts/MaterialIcons-Regular.ttf");
        const QStringList families = QFontDatabase::applicationFontFamilies(id);
        return families.isEmpty() ? QString() : families.constFirst();
    }();
    return loaded;
}

} // namespace

QString glyph(const char* symbol)
{
    for (const Symbol& entry : symbols) {
        if (std::strcmp(entry.identifier, symbol) == 0)
            return QString(QChar(entry.codepoint));
    }
    return {};
}

QFont font(int pixelSize)
{
    QFont result(family());
    result.setPixelSize(pixelSize);
    return result;
}

QStringList allSymbols()
{
    QStringList identifiers;
    for (const Symbol& entry : symbols)
        identifiers << entry.identifier;
    return identifiers;
}

} // namespace tonfield::ui::icons
