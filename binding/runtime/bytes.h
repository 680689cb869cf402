// Byte arrays across the boundary: whole images as Tcl byte arrays, one
// memory copy each way (imgclass/core/pixeldata.h fixes the byte order).
#pragma once
#include "imgclass/core/pixeldata.h"
#include "binding/runtime.h"

namespace qb {

// The bytes of a Tcl value, valid for the call.
struct Bytes {
    const unsigned char* data = nullptr;
    std::size_t size = 0;
};

// Tcl turns any value into bytes, dropping all but the low 8 bits of each
// character. A text with characters beyond \u00ff is not bytes: refused
// instead of silently changed. (In Tcl's UTF-8 only those characters have
// a lead byte of 0xc4 or more.)
inline bool holds_bytes(Tcl_Obj* o) {
    static const Tcl_ObjType* const bytearray = Tcl_GetObjType("bytearray");
    if (bytearray && o->typePtr == bytearray) return true;
    int len;
    const unsigned char* s = reinterpret_cast<const unsigned char*>(Tcl_GetStringFromObj(o, &len));
    for (int i = 0; i < len; ++i)
        if (s[i] >= 0xc4) return false;
    return true;
}

template <> struct Arg<Bytes> {
    static bool names(std::string_view t) { return t == "unsigned char []"; }
    using stored = Bytes;
    static int get(Tcl_Interp*, Tcl_Obj* o, stored& s, int) {
        if (!holds_bytes(o)) return E_TYPE;
        int n;
        s.data = Tcl_GetByteArrayFromObj(o, &n);
        s.size = std::size_t(n);
        return OK;
    }
    static Bytes pass(stored& s) { return s; }
};

// A new byte array holding the image's pixels.
template <class Img> Tcl_Obj* bytes_of(const Img& img) {
    constexpr std::size_t n = quenz::image_bytes<typename Img::data_t>;
    Tcl_Obj* o = Tcl_NewByteArrayObj(nullptr, 0);
    quenz::to_bytes(img, Tcl_SetByteArrayLength(o, int(n)));
    return o;
}

}  // namespace qb
