// The plane vector and the free command `abs`. Results of -, +, * with a
// number and / are new vectors owned by their handle's command.
#include "imgclass/core/vec2d.h"
#include "binding/runtime.h"

std::vector<qb::Entry> qb::tables::vec2d_commands() {
    return {
        qb::fn(qb::sig("oo:vec2d_x_set self x", {"vec2d *", "double"},
                       [](vec2d& v, double x) { v.x = x; })),
        qb::fn(qb::sig("o:vec2d_x_get self", {"vec2d *"}, [](vec2d& v) { return v.x; })),
        qb::fn(qb::sig("oo:vec2d_y_set self y", {"vec2d *", "double"},
                       [](vec2d& v, double y) { v.y = y; })),
        qb::fn(qb::sig("o:vec2d_y_get self", {"vec2d *"}, [](vec2d& v) { return v.y; })),
        qb::fn(qb::sig("oo:new_vec2d x_ y_", {"double", "double"},
                       [](double x, double y) { return new vec2d(x, y); })),
        qb::fn(qb::sig("oo:vec2d_- self subtr", {"vec2d *", "vec2d const &"},
                       [](vec2d& a, const vec2d& b) { return a - b; })),
        qb::fn(qb::sig("oo:vec2d_+ self summand", {"vec2d *", "vec2d const &"},
                       [](vec2d& a, const vec2d& b) { return a + b; })),
        qb::fn(qb::sig("oo:vec2d_/= self div", {"vec2d *", "double"},
                       [](vec2d& a, double d) -> vec2d& { return a /= d; })),
        // Two vectors give the dot product, a vector and a number a new vector.
        qb::over("vec2d_*", {qb::sig("oo:vec2d_* self v2", {"vec2d *", "vec2d const &"},
                                     [](vec2d& a, const vec2d& b) { return a * b; }),
                             qb::sig("oo:vec2d_* self s", {"vec2d *", "double"},
                                     [](vec2d& a, double s) { return a * s; })}),
        qb::fn(qb::sig("oo:vec2d_/ self s", {"vec2d *", "double"},
                       [](vec2d& a, double s) { return a / s; })),
        qb::deleter<vec2d>("o:delete_vec2d self", "vec2d *"),
        qb::klass<vec2d>("vec2d", {{"-x"}, {"-y"}}),
        qb::fn(qb::sig("o:abs v", {"vec2d const &"}, [](const vec2d& v) { return abs(v); })),
    };
}

