// quenz-view's remote control server, in the viewer's interpreter:
//
//   quenzview_remote listen DIR NAME TOKEN PREFIX
//   quenzview_remote close
//   quenzview_remote stats      (a dict of counts, for tests)
//   quenzview_remote limits     (a dict of the limits below)
//
// It listens on the local socket DIR/NAME (see imgclass/system/local_socket.h).
// The kernel names each peer's user: a connection of another user is
// answered with a refusal and closed before a byte of it is read. The
// first message must be TOKEN; then each message is one request, a Tcl
// list of words, which runs as PREFIX followed by those words (never
// evaluated as a script: brackets, braces and dollars are plain text).
// Answers are the list {code result}, 1 for an error.
//
// Bounds: open connections, bytes and time before the token, idle time,
// message size, words per request, unsent answer bytes (remote_limits).
#pragma once
#include <tcl.h>

#include <cstddef>
#include <string>

namespace quenz::remote {

struct Limits {
    int connections = 16;                     // open at once
    std::size_t token_bytes = 64;             // largest message before the token
    int token_ms = 5000;                      // time to present the token
    int idle_ms = 60000;                      // an authenticated connection's silence
    std::size_t request_bytes = 64u << 20;    // largest request (showbytes of a big file)
    int words = 16;                           // words in a request
    std::size_t unsent_bytes = 64u << 20;     // answers the peer has not taken
};

// Runs one request (the message's bytes, UTF-8) as PREFIX plus its words;
// the answer's bytes. Shared by the server and the fuzz target.
std::string run_request(Tcl_Interp* interp, Tcl_Obj* prefix, const std::string& message,
                        int max_words);

// {code result} as UTF-8 bytes.
std::string answer(Tcl_Interp* interp, int code, Tcl_Obj* result);

void create_command(Tcl_Interp* interp);

}  // namespace quenz::remote
