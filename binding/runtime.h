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
//           qb::klass<bild16>("bild16", {"write_pgm16"}, {}, {"imgbase< 512,512,unsigned short > *"}),
//       };
//   }
//
// and is listed once in binding/command_table.cpp. The callable's
// parameter types choose the argument conversions (Arg<T>), its result
// type the result handling (Ret<T>).
#pragma once
#include "command_table.h"
#include "runtime/entries.h"
