// The in-place operators of the image classes: each Tcl command tries the
// image operand first, then the scalar.
#pragma once
#include "binding/runtime.h"

namespace qb {

template <auto ImgOp, auto ValOp>
Entry image_operator(const char* name, const char* img_fmt, const char* val_fmt, const char* self_t,
                     const char* img_t, const char* val_t) {
    return over(name, {sig(img_fmt, {self_t, img_t}, mem<ImgOp>()),
                       sig(val_fmt, {self_t, val_t}, mem<ValOp>())});
}

}  // namespace qb
