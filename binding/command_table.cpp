// The one ordered list of command sections. Commands are created in this
// order, which fixes the interpreter's command table; a new section goes
// where its commands should be created (usually at the end).
#include "command_table.h"

#include <map>
#include <string>

namespace qb {

const std::vector<Section>& sections() {
    static const std::vector<Section> list = {
        {"bild16_base", tables::bild16_base_commands, false},
        {"bild16", tables::bild16_commands, false},
        {"bild16 drawing", tables::bild16_draw_commands, false},
        {"bild16 PGM files", tables::bild16_pgm_commands, false},
        {"bild16 pixels in bulk", tables::bild16_transfer_commands, false},
        {"bild16 TIFF, FITS, NumPy and PNG files", tables::bild16_formats_commands, false},
        {"eichkurve", tables::eichkurve_commands, false},
        {"expkurve", tables::expkurve_commands, false},
        {"exp4kurve", tables::exp4kurve_commands, false},
        {"tablekurve", tables::tablekurve_commands, false},
        {"bildfloat_base", tables::bildfloat_base_commands, false},
        {"bildfloat", tables::bildfloat_commands, false},
        {"bildfloat_apply_eichkurve", tables::bildfloat_apply_eichkurve_commands, false},
        {"bildfloat filters", tables::bildfloat_filters_commands, false},
        {"bildfloat_polyfit_correct", tables::bildfloat_polyfit_correct_commands, false},
        {"bildfloat pixels in bulk", tables::bildfloat_transfer_commands, false},
        {"bildfloat TIFF, FITS, NumPy and PNG files", tables::bildfloat_formats_commands, false},
        {"QRfit", tables::QRfit_commands, false},
        {"Parabelzentrum", tables::Parabelzentrum_commands, false},
        {"bildcomplex_base", tables::bildcomplex_base_commands, false},
        {"bildcomplex", tables::bildcomplex_commands, false},
        {"bildcomplex pixels in bulk", tables::bildcomplex_transfer_commands, false},
        {"display", nullptr, true},
        {"getminmax", tables::getminmax_commands, false},
        {"viewer rendering", nullptr, true},
        {"vec2d", tables::vec2d_commands, false},
        {"surface", tables::surface_commands, false},
        {"Voronoischnitt", tables::Voronoischnitt_commands, false},
        {"typecheck", tables::typecheck_commands, false},
        {"measurements", tables::measure_commands, false},
        {"file structure", tables::structure_commands, false},
        {"formats from their records", tables::format_record_commands, false},
    };
    return list;
}

namespace {
std::map<std::string, MakeSection>& registered() {
    static auto* m = new std::map<std::string, MakeSection>;
    return *m;
}
}  // namespace

bool register_section(const char* name, MakeSection make) {
    registered()[name] = make;
    return true;
}

const std::vector<std::vector<Entry>>& command_table() {
    static const auto* table = [] {
        auto* t = new std::vector<std::vector<Entry>>;
        for (const Section& s : sections()) {
            MakeSection make = s.make;
            if (!make) {
                auto it = registered().find(s.name);
                make = it == registered().end() ? nullptr : it->second;
            }
            t->push_back(make ? make() : std::vector<Entry>{});
        }
        return t;
    }();
    return *table;
}

}  // namespace qb
