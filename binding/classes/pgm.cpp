// PGM commands of bild16.
#include "imgclass/core/bild16.h"
#include "binding/runtime.h"

std::vector<qb::Entry> qb::tables::bild16_pgm_commands() {
    return {
        qb::listed_at(0, qb::fn(qb::sig("oo:bild16_write_pgm16 self name", {"bild16 const *", "char const *"},
                                        qb::mem<&bild16::write_pgm16>()))),
        qb::listed_at(1, qb::fn(qb::sig("oo:bild16_write_pgm8 self name", {"bild16 const *", "char const *"},
                                        qb::mem<&bild16::write_pgm8>()))),
        qb::listed_at(2, qb::fn(qb::sig("oooo:bild16_write_pgm8_bounds self name low high",
                                        {"bild16 const *", "char const *", "bild16::data_t", "bild16::data_t"},
                                        qb::mem<&bild16::write_pgm8_bounds>()))),
        qb::listed_at(5, qb::fn(qb::sig("oo:bild16_read_pgm self name", {"bild16 *", "char const *"},
                                        qb::mem<&bild16::read_pgm>()))),
    };
}

