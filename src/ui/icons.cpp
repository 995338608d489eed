#include "ui/icons.h"

#include <utility>

using namespace Qt::StringLiterals;

namespace {

// Material Icons code points (see the font's published code point list).
constexpr std::pair<QLatin1StringView, char16_t> kSymbolGlyphs[] = {
    {"arrow.down.to.line.compact"_L1, 0xe258},       // vertical_align_bottom
    {"arrow.left.circle.fill"_L1, 0xeaa7},           // arrow_circle_left
    {"arrow.right.circle.fill"_L1, 0xeaaa},          // arrow_circle_right
    {"arrow.triangle.2.circlepath"_L1, 0xe627},      // sync
    {"arrow.up.forward.app.fill"_L1, 0xe89e},        // open_in_new
    {"button.programmable"_L1, 0xf1c1},              // smart_button
    {"checklist"_L1, 0xe6b1},                        // checklist
    {"checkmark.circle.fill"_L1, 0xe86c},            // check_circle
    {"checkmark.shield.fill"_L1, 0xe8e8},            // verified_user
    {"chevron.down"_L1, 0xe5cf},                     // expand_more
    {"chevron.right"_L1, 0xe5cc},                    // chevron_right
    {"circle.dashed"_L1, 0xe836},                    // radio_button_unchecked
    {"desktopcomputer"_L1, 0xe30c},                  // desktop_windows
    {"doc.on.doc.fill"_L1, 0xe14d},                  // content_copy
    {"doc.text.fill"_L1, 0xe873},                    // description
    {"envelope.fill"_L1, 0xe158},                    // mail
    {"exclamationmark.circle.fill"_L1, 0xe000},      // error
    {"exclamationmark.triangle.fill"_L1, 0xe002},    // warning
    {"forward.end.fill"_L1, 0xe044},                 // skip_next
    {"gearshape.fill"_L1, 0xe8b8},                   // settings
    {"iphone.radiowaves.left.and.right"_L1, 0xe0dd}, // phonelink_ring
    {"pause.fill"_L1, 0xe034},                       // pause
    {"play.fill"_L1, 0xe037},                        // play_arrow
    {"power"_L1, 0xe8ac},                            // power_settings_new
    {"square.and.arrow.down.fill"_L1, 0xf090},       // download
    {"stop.fill"_L1, 0xe047},                        // stop
};

} // namespace

QString Icons::glyphForSymbol(QStringView symbol)
{
    for (const auto &[name, codePoint] : kSymbolGlyphs) {
        if (symbol == name)
            return QString(QChar(codePoint));
    }
    return {};
}

QString Icons::fontFamily()
{
    return u"Material Icons"_s;
}
