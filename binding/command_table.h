// The command table: every section of commands, in the order in which
// their commands are created (binding/command_table.cpp lists them).
#pragma once
#include <vector>

#include "runtime/entries.h"

namespace qb {

// Each section's entries, made by a function in binding/classes/. The
// sections of the layer above (display/: the commands that need Tk) are
// listed here by name only and register their makers themselves
// (register_section), so binding/ builds and links without display/.
namespace tables {
std::vector<Entry> bild16_base_commands();
std::vector<Entry> bild16_commands();
std::vector<Entry> bild16_draw_commands();
std::vector<Entry> bild16_pgm_commands();
std::vector<Entry> bild16_transfer_commands();
std::vector<Entry> bild16_formats_commands();
std::vector<Entry> eichkurve_commands();
std::vector<Entry> expkurve_commands();
std::vector<Entry> exp4kurve_commands();
std::vector<Entry> tablekurve_commands();
std::vector<Entry> bildfloat_base_commands();
std::vector<Entry> bildfloat_commands();
std::vector<Entry> bildfloat_apply_eichkurve_commands();
std::vector<Entry> bildfloat_filters_commands();
std::vector<Entry> bildfloat_polyfit_correct_commands();
std::vector<Entry> bildfloat_transfer_commands();
std::vector<Entry> bildfloat_formats_commands();
std::vector<Entry> QRfit_commands();
std::vector<Entry> Parabelzentrum_commands();
std::vector<Entry> bildcomplex_base_commands();
std::vector<Entry> bildcomplex_commands();
std::vector<Entry> bildcomplex_transfer_commands();
std::vector<Entry> getminmax_commands();
std::vector<Entry> vec2d_commands();
std::vector<Entry> surface_commands();
std::vector<Entry> Voronoischnitt_commands();
std::vector<Entry> typecheck_commands();
std::vector<Entry> measure_commands();
std::vector<Entry> structure_commands();
std::vector<Entry> format_record_commands();
}  // namespace tables

using MakeSection = std::vector<Entry> (*)();

struct Section {
    const char* name;
    MakeSection make;  // null: registered by name from display/
    bool display;      // needs Tk: left out of quenzcore
};

// Gives a section listed without a maker its entries (at load, from a
// static initialiser of the file that makes them). Returns true.
bool register_section(const char* name, MakeSection make);

// The sections in creation order.
const std::vector<Section>& sections();
// Their entries, made once per process (parallel to sections(); the
// entries never move, commands keep pointers to them).
const std::vector<std::vector<Entry>>& command_table();

}  // namespace qb
