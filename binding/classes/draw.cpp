// Drawing commands of bild16: each returns the image's own handle.
#include "imgclass/core/bild16.h"
#include "binding/runtime.h"

std::vector<qb::Entry> qb::tables::bild16_draw_commands() {
    return {
        qb::listed_at(6, qb::fn(qb::sig("oooo:bild16_drawx self x y1 y2", {"bild16 *", "int", "int", "int"},
                                        qb::mem<&bild16::drawx>()))),
        qb::listed_at(7, qb::fn(qb::sig("oooo:bild16_drawy self y x1 x2", {"bild16 *", "int", "int", "int"},
                                        qb::mem<&bild16::drawy>()))),
        qb::listed_at(8, qb::fn(qb::sig("ooo:bild16_kreuz self x y", {"bild16 *", "int", "int"},
                                        qb::mem<&bild16::kreuz>()))),
    };
}

