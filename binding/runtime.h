// What a command table needs from the binding runtime (binding/runtime/).
//
// `qb` ("quenz binding") is the namespace of everything that knows Tcl.
// A section of the command table is a function returning its entries:
//
//   std::vector<qb::Entry> qb::tables::bild16() {
//       return {
//           qb::over("new_bild16", {
//               qb::sig(":new_bild16", {}, [] { return new bild16(); }),
//               qb::sig("o:new_bild16 fname", {"char const *"},
//                       [](const char* f) { return new bild16(f); })}),
//           qb::fn(qb::sig("oo:bild16_write_pgm16 self name ", {"bild16 const *", "char const *"},
//                          qb::mem<&bild16::write_pgm16>())),
//           qb::deleter<bild16>("o:delete_bild16 self", "bild16 *"),
//           qb::klass<bild16>("bild16"),
//           qb::upcast<bild16, bild16_base>(),
//       };
//   }
//
// and is listed once in binding/command_table.cpp. The callable's
// parameter types choose the argument conversions (Arg<T>), its result
// type the result handling (Ret<T>); the format has one "o" and the list
// one type text per parameter (the table check refuses any other). A
// command named <class>_<method> is a method of the class; the upcast
// makes bild16_base its base.
#pragma once
#include "command_table.h"
#include "runtime/entries.h"
#include "runtime/minmax_result.h"

namespace qb {

// A type of one's own as a command parameter (display/'s photo images) is
// an Arg<T> specialisation; its get() answers with one of these. A refusal
// is the TypeError of a bad word, and an overloaded command tries its next
// signature.
inline constexpr int arg_converted = OK;
inline constexpr int arg_refused = E_TYPE;

}  // namespace qb
