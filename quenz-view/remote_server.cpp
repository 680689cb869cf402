// quenz-view's remote control server (see remote_server.h). Everything
// here runs in the viewer's thread, from its event loop.
#include "quenz-view/remote_server.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <map>
#include <memory>

#include "quenz-view/remote_frames.h"
#include "imgclass/system/error.h"
#include "imgclass/system/local_socket.h"

namespace quenz::remote {
namespace {

Tcl_Encoding utf8() {
    static Tcl_Encoding e = Tcl_GetEncoding(nullptr, "utf-8");
    return e;
}

long long now_ms() {
    Tcl_Time t;
    Tcl_GetTime(&t);
    return (long long)t.sec * 1000 + t.usec / 1000;
}

struct Server;

struct Conn {
    Server* server;
    int fd;
    long id = 0;  // key in the server's table (a descriptor number is reused)
    Frames frames;
    bool authed = false;
    bool busy = false;     // a request of it is running
    bool closing = false;  // close once the answers are sent
    bool dead = false;     // to be freed when no longer busy
    bool want_write = false;
    std::string out;
    std::size_t out_pos = 0;
    long long last = now_ms();
    Conn(Server* s, int f, std::size_t max) : server(s), fd(f), frames(max) {}
};

struct Counts {
    long accepted = 0, other_user = 0, too_many = 0, wrong_token = 0, malformed = 0, idle = 0,
         requests = 0, unsent = 0;
};

struct Server {
    Tcl_Interp* interp;
    Limits limits;
    int listener = -1;
    std::string path, token;
    Tcl_Obj* prefix = nullptr;
    std::map<long, std::unique_ptr<Conn>> conns;
    long next_id = 0;
    Tcl_TimerToken timer = nullptr;
    Counts counts;
};

void readable(ClientData cd, int mask);
void drop(Conn* c);

// The connection's file handler for what it waits for now.
void watch(Conn* c) {
    int mask = TCL_READABLE | (c->want_write ? TCL_WRITABLE : 0);
    Tcl_CreateFileHandler(c->fd, mask, readable, c);
}

void flush(Conn* c) {
    while (c->out_pos < c->out.size()) {
        ssize_t n = send(c->fd, c->out.data() + c->out_pos, c->out.size() - c->out_pos, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        if (n <= 0) {
            drop(c);
            return;
        }
        c->out_pos += std::size_t(n);
    }
    if (c->out_pos == c->out.size()) {
        c->out.clear();
        c->out_pos = 0;
        if (c->closing) {
            drop(c);
            return;
        }
    }
    bool want = c->out_pos < c->out.size();
    if (want != c->want_write) {
        c->want_write = want;
        watch(c);
    }
}

void send_answer(Conn* c, const std::string& bytes) {
    if (c->dead) return;
    c->out += Frames::frame(bytes);
    if (c->out.size() - c->out_pos > c->server->limits.unsent_bytes) {
        ++c->server->counts.unsent;
        drop(c);
        return;
    }
    flush(c);
}

void refuse_and_close(Conn* c, const char* why) {
    send_answer(c, answer(c->server->interp, 1, Tcl_NewStringObj(why, -1)));
    if (!c->dead) {
        c->closing = true;
        flush(c);
    }
}

// Closes the connection; its record is freed by the event handler that
// holds it (readable, accept_ready, sweep, stop), never under a caller.
void drop(Conn* c) {
    if (c->dead) return;
    c->dead = true;
    Tcl_DeleteFileHandler(c->fd);
    // What the peer sent and we did not read would turn the close into a
    // reset that can destroy our last answer before the peer reads it: a
    // few kilobytes are read away first (never more).
    char sink[4096];
    for (int i = 0; i < 4 && recv(c->fd, sink, sizeof sink, MSG_DONTWAIT) > 0; ++i) {
    }
    close(c->fd);
}

bool same_token(const std::string& a, const std::string& b) {
    // Compared in full, whatever the first difference.
    unsigned diff = a.size() != b.size();
    for (std::size_t i = 0; i < a.size(); ++i) diff |= unsigned(a[i] ^ (i < b.size() ? b[i] : 0));
    return diff == 0;
}

void take(Conn* c, const std::string& msg) {
    Server* s = c->server;
    c->last = now_ms();
    if (!c->authed) {
        if (!same_token(msg, s->token)) {
            ++s->counts.wrong_token;
            refuse_and_close(c, "refused: wrong token");
            return;
        }
        c->authed = true;
        c->frames.set_max(s->limits.request_bytes);
        send_answer(c, answer(s->interp, 0, Tcl_NewStringObj("ok", -1)));
        return;
    }
    ++s->counts.requests;
    c->busy = true;
    std::string reply = run_request(s->interp, s->prefix, msg, s->limits.words);
    c->busy = false;
    send_answer(c, reply);
}

void readable(ClientData cd, int mask) {
    auto* c = static_cast<Conn*>(cd);
    Server* s = c->server;
    if (c->busy || c->dead) return;
    const int fd = c->fd;
    const long id = c->id;
    Tcl_Preserve(s->interp);
    if (mask & TCL_WRITABLE) flush(c);
    if ((mask & TCL_READABLE) && !c->dead && !c->closing) {
        char buf[64 * 1024];
        // Before the token only a few bytes are ever read: its message
        // and the length line in front of it.
        const std::size_t cap = s->limits.token_bytes + 16;
        std::size_t room = c->authed ? sizeof buf : cap - std::min(cap, c->frames.buffered());
        ssize_t n = room ? recv(fd, buf, room, 0) : 0;
        bool eof = false;
        if (n > 0) {
            c->frames.add(buf, std::size_t(n));
        } else if (room && (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))) {
            eof = true;
        }
        std::string msg;
        while (!c->dead && !c->closing && !Tcl_InterpDeleted(s->interp)) {
            auto got = room ? c->frames.next(msg) : Frames::Got::malformed;
            if (got == Frames::Got::none) break;
            if (got == Frames::Got::malformed) {
                ++s->counts.malformed;
                refuse_and_close(c, "refused: malformed message");
                break;
            }
            take(c, msg);
        }
        if (eof && !c->dead) {
            if (c->out_pos < c->out.size())
                c->closing = true;
            else
                drop(c);
        }
    }
    if (c->dead) s->conns.erase(id);
    Tcl_Release(s->interp);
}

// Closes connections that have said nothing for too long (before the
// token: token_ms; after it: idle_ms). Runs every second while any is open.
void sweep(ClientData cd) {
    auto* s = static_cast<Server*>(cd);
    s->timer = nullptr;
    long long t = now_ms();
    for (auto it = s->conns.begin(); it != s->conns.end();) {
        Conn* c = it->second.get();
        ++it;
        if (c->busy || c->dead) continue;
        long long limit = c->authed ? s->limits.idle_ms : s->limits.token_ms;
        if (t - c->last > limit) {
            ++s->counts.idle;
            const long id = c->id;
            drop(c);
            s->conns.erase(id);
        }
    }
    if (!s->conns.empty()) s->timer = Tcl_CreateTimerHandler(1000, sweep, s);
}

void accept_ready(ClientData cd, int) {
    auto* s = static_cast<Server*>(cd);
    // A burst of waiting connections is taken in slices, so that the
    // event loop (and the user's own requests) keep their turn.
    for (int i = 0; i < 64 && s->listener >= 0; ++i) {
        Peer p;
        try {
            p = accept_local(s->listener);
        } catch (const std::exception&) {
            return;
        }
        if (p.fd < 0) return;
        auto c = std::make_unique<Conn>(s, p.fd, s->limits.token_bytes);
        Conn* raw = c.get();
        raw->id = ++s->next_id;
        s->conns[raw->id] = std::move(c);
        watch(raw);
        if (p.uid != geteuid()) {
            ++s->counts.other_user;
            refuse_and_close(raw, "refused: the viewer takes commands from its own user only");
        } else if (int(s->conns.size()) > s->limits.connections) {
            ++s->counts.too_many;
            refuse_and_close(raw, "refused: too many connections");
        } else {
            ++s->counts.accepted;
        }
        if (raw->dead) {
            const long id = raw->id;
            s->conns.erase(id);
        }
        if (!s->timer && !s->conns.empty()) s->timer = Tcl_CreateTimerHandler(1000, sweep, s);
    }
}

void stop(Server* s) {
    if (s->listener >= 0) {
        Tcl_DeleteFileHandler(s->listener);
        close(s->listener);
        s->listener = -1;
        if (!s->path.empty()) unlink(s->path.c_str());
    }
    for (auto it = s->conns.begin(); it != s->conns.end();) {
        Conn* c = it->second.get();
        ++it;
        const long id = c->id;
        drop(c);
        if (!c->busy) s->conns.erase(id);
    }
    if (s->timer) Tcl_DeleteTimerHandler(s->timer);
    s->timer = nullptr;
    if (s->prefix) Tcl_DecrRefCount(s->prefix);
    s->prefix = nullptr;
}

Tcl_Obj* dict(std::initializer_list<std::pair<const char*, Tcl_WideInt>> items) {
    Tcl_Obj* d = Tcl_NewDictObj();
    for (auto& [k, v] : items) Tcl_DictObjPut(nullptr, d, Tcl_NewStringObj(k, -1), Tcl_NewWideIntObj(v));
    return d;
}

int remote_cmd(ClientData cd, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    auto* s = static_cast<Server*>(cd);
    static const char* subs[] = {"listen", "close", "stats", "limits", nullptr};
    int sub;
    if (objc < 2) {
        Tcl_WrongNumArgs(interp, 1, objv, "listen|close|stats|limits ?arg ...?");
        return TCL_ERROR;
    }
    if (Tcl_GetIndexFromObj(interp, objv[1], subs, "subcommand", 0, &sub) != TCL_OK) return TCL_ERROR;
    if (sub == 0) {
        if (objc != 6) {
            Tcl_WrongNumArgs(interp, 2, objv, "dir name token prefix");
            return TCL_ERROR;
        }
        stop(s);
        std::string dir = Tcl_GetString(objv[2]), name = Tcl_GetString(objv[3]);
        try {
            s->listener = listen_local(dir, name, 64);
        } catch (const std::exception& e) {
            Tcl_SetObjResult(interp, Tcl_NewStringObj(e.what(), -1));
            return TCL_ERROR;
        }
        s->path = dir + "/" + name;
        s->token = Tcl_GetString(objv[4]);
        s->prefix = Tcl_DuplicateObj(objv[5]);
        Tcl_IncrRefCount(s->prefix);
        Tcl_CreateFileHandler(s->listener, TCL_READABLE, accept_ready, s);
        return TCL_OK;
    }
    if (objc != 2) {
        Tcl_WrongNumArgs(interp, 2, objv, nullptr);
        return TCL_ERROR;
    }
    if (sub == 1) {
        stop(s);
    } else if (sub == 2) {
        const Counts& n = s->counts;
        Tcl_SetObjResult(interp, dict({{"open", Tcl_WideInt(s->conns.size())},
                                       {"accepted", n.accepted},
                                       {"other_user", n.other_user},
                                       {"too_many", n.too_many},
                                       {"wrong_token", n.wrong_token},
                                       {"malformed", n.malformed},
                                       {"idle", n.idle},
                                       {"requests", n.requests},
                                       {"unsent", n.unsent}}));
    } else {
        const Limits& l = s->limits;
        Tcl_SetObjResult(interp, dict({{"connections", l.connections},
                                       {"token_bytes", Tcl_WideInt(l.token_bytes)},
                                       {"token_ms", l.token_ms},
                                       {"idle_ms", l.idle_ms},
                                       {"request_bytes", Tcl_WideInt(l.request_bytes)},
                                       {"words", l.words},
                                       {"unsent_bytes", Tcl_WideInt(l.unsent_bytes)}}));
    }
    return TCL_OK;
}

void remote_gone(ClientData cd) {
    auto* s = static_cast<Server*>(cd);
    stop(s);
    // A connection whose request is still running frees itself there.
    s->conns.clear();
    delete s;
}

}  // namespace

std::string answer(Tcl_Interp*, int code, Tcl_Obj* result) {
    Tcl_Obj* items[2] = {Tcl_NewIntObj(code), result};
    Tcl_Obj* list = Tcl_NewListObj(2, items);
    Tcl_IncrRefCount(list);
    int len;
    const char* text = Tcl_GetStringFromObj(list, &len);
    Tcl_DString ds;
    Tcl_UtfToExternalDString(utf8(), text, len, &ds);
    std::string bytes(Tcl_DStringValue(&ds), std::size_t(Tcl_DStringLength(&ds)));
    Tcl_DStringFree(&ds);
    Tcl_DecrRefCount(list);
    return bytes;
}

std::string run_request(Tcl_Interp* interp, Tcl_Obj* prefix, const std::string& message, int max_words) {
    Tcl_DString ds;
    Tcl_ExternalToUtfDString(utf8(), message.data(), int(message.size()), &ds);
    Tcl_Obj* text = Tcl_NewStringObj(Tcl_DStringValue(&ds), Tcl_DStringLength(&ds));
    Tcl_DStringFree(&ds);
    Tcl_IncrRefCount(text);
    Tcl_Obj** words;
    int n;
    std::string reply;
    // The request is a list of words: parsing a list substitutes nothing
    // and recurses into nothing, however its braces nest.
    if (Tcl_ListObjGetElements(nullptr, text, &n, &words) != TCL_OK) {
        reply = answer(interp, 1, Tcl_NewStringObj("malformed request: not a list of words", -1));
    } else if (n == 0) {
        reply = answer(interp, 1, Tcl_NewStringObj("empty request", -1));
    } else if (n > max_words) {
        reply = answer(interp, 1, Tcl_ObjPrintf("request of %d words: at most %d", n, max_words));
    } else {
        Tcl_Obj* cmd = Tcl_DuplicateObj(prefix);
        Tcl_IncrRefCount(cmd);
        Tcl_ListObjReplace(nullptr, cmd, INT_MAX, 0, n, words);
        Tcl_Obj** cv;
        int cn;
        Tcl_ListObjGetElements(nullptr, cmd, &cn, &cv);
        Tcl_Preserve(interp);
        int code = Tcl_EvalObjv(interp, cn, cv, TCL_EVAL_GLOBAL);
        Tcl_Obj* result = Tcl_GetObjResult(interp);
        Tcl_IncrRefCount(result);
        Tcl_ResetResult(interp);
        reply = answer(interp, code == TCL_ERROR ? 1 : 0, result);
        Tcl_DecrRefCount(result);
        Tcl_Release(interp);
        Tcl_DecrRefCount(cmd);
    }
    Tcl_DecrRefCount(text);
    return reply;
}

void create_command(Tcl_Interp* interp) {
    auto* s = new Server;
    s->interp = interp;
    Tcl_CreateObjCommand(interp, "quenzview_remote", remote_cmd, s, remote_gone);
}

}  // namespace quenz::remote
