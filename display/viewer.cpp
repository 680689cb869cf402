// The viewer thread and the queue of scripts sent to it.

// Without this tcl.h turns the mutex and condition calls into no-ops.
#define TCL_THREADS 1
#include <tk.h>

#include "display/viewer.h"

#include <cstdio>
#include <cstring>

extern "C" int Quenz_Init(Tcl_Interp* interp);
extern const char quenz_viewer_script[];

namespace quenz::viewer {
namespace {

// One viewer per process. The mutex guards everything below; the
// condition carries "ready" (or "failed") from the viewer thread to the
// host thread waiting in start_viewer_thread.
enum class State { idle, starting, ready, failed, ended };
Tcl_Mutex mutex;
Tcl_Condition changed;
State state = State::idle;
Tcl_ThreadId thread_id;
Tcl_Interp* viewer_interp = nullptr;
int host_argc = 0;
char** host_argv = nullptr;
std::string failure;

struct ScriptEvent {
    Tcl_Event header;  // first: Tcl frees the record through it
    char* script;      // Tcl_Alloc'd copy
    Tcl_Interp* interp;
};

void free_script(ClientData script) { Tcl_Free(static_cast<char*>(script)); }

int run_script(Tcl_Event* ev, int flags) {
    // Tk waits for the window manager (wm withdraw, for one) by servicing
    // window events only; a script run from there would run in the middle
    // of the one before it. Leave it queued for the full event loop.
    if (!(flags & TCL_FILE_EVENTS)) return 0;
    auto* e = reinterpret_cast<ScriptEvent*>(ev);
    Tcl_Interp* interp = e->interp;
    if (interp) {
        Tcl_Preserve(interp);
        if (!Tcl_InterpDeleted(interp)) {
            Tcl_ResetResult(interp);
            // Frees the copy should the script end the thread.
            Tcl_CreateThreadExitHandler(free_script, e->script);
            Tcl_EvalEx(interp, e->script, -1, TCL_EVAL_GLOBAL);  // errors are dropped
            Tcl_DeleteThreadExitHandler(free_script, e->script);
        }
    }
    Tcl_Free(e->script);
    if (interp) Tcl_Release(interp);
    return 1;
}

// Caller holds the mutex.
void queue_locked(const char* script) {
    auto* e = reinterpret_cast<ScriptEvent*>(Tcl_Alloc(sizeof(ScriptEvent)));
    std::size_t n = std::strlen(script);
    e->header.proc = run_script;
    e->header.nextPtr = nullptr;
    e->script = Tcl_Alloc(unsigned(n + 1));
    std::memcpy(e->script, script, n + 1);
    e->interp = viewer_interp;
    Tcl_ThreadQueueEvent(thread_id, &e->header, TCL_QUEUE_TAIL);
    Tcl_ThreadAlert(thread_id);
}

// Ends the start-up with a failure the host can report, instead of
// leaving it waiting for a ready signal that never comes.
void fail(Tcl_Interp* interp, const char* what) {
    std::string why = what;
    if (interp && *Tcl_GetStringResult(interp)) why += std::string(": ") + Tcl_GetStringResult(interp);
    Tcl_MutexLock(&mutex);
    failure = why;
    state = State::failed;
    viewer_interp = nullptr;
    Tcl_ConditionNotify(&changed);
    Tcl_MutexUnlock(&mutex);
    if (interp) Tcl_DeleteInterp(interp);
}

Tcl_ThreadCreateType viewer_main(ClientData) {
    Tcl_Interp* interp = Tcl_CreateInterp();
    // The process's stub tables are bound already; this only refuses a Tcl
    // older than 8.4 (an exact "8.4" would refuse every newer Tcl). It and
    // Quenz_Init store the stub table pointers again, which the host thread
    // reads as it starts waiting: both store them under the mutex.
    Tcl_MutexLock(&mutex);
    bool stubs = Tcl_InitStubs(interp, "8.4", 0) != nullptr;
    Tcl_MutexUnlock(&mutex);
    if (!stubs) {
        fail(interp, "Tcl is too old");
        Tcl_ExitThread(1);
        TCL_THREAD_CREATE_RETURN;
    }
    Tcl_MutexLock(&mutex);
    viewer_interp = interp;
    Tcl_MutexUnlock(&mutex);
    Tcl_SetVar(interp, "tcl_interactive", "0", TCL_GLOBAL_ONLY);
    if (host_argc > 0) Tcl_SetVar(interp, "argv0", host_argv[0], TCL_GLOBAL_ONLY);
    const char* step = "cannot initialise Tcl";
    int rc = Tcl_Init(interp);
    if (rc == TCL_OK) {
        // Tk_Init is not in Tk's stub table; requiring the package runs it.
        step = "cannot initialise Tk";
        rc = Tcl_Eval(interp, "package require Tk") == TCL_OK ? TCL_OK : TCL_ERROR;
    }
    if (rc == TCL_OK) {
        step = "cannot initialise quenz";
        Tcl_MutexLock(&mutex);
        rc = Quenz_Init(interp);
        Tcl_MutexUnlock(&mutex);
    }
    if (rc != TCL_OK) {
        fail(interp, step);
        Tcl_ExitThread(1);
        TCL_THREAD_CREATE_RETURN;
    }
    std::fputs("T2\n", stdout);
    std::fflush(stdout);
    Tcl_MutexLock(&mutex);
    state = State::ready;
    Tcl_ConditionNotify(&changed);
    Tcl_MutexUnlock(&mutex);
    if (Tcl_Channel out = Tcl_GetStdChannel(TCL_STDOUT)) Tcl_Flush(out);
    Tcl_ResetResult(interp);

    Tk_MainLoop();

    Tcl_MutexLock(&mutex);
    state = State::ended;
    viewer_interp = nullptr;
    Tcl_ConditionNotify(&changed);
    Tcl_MutexUnlock(&mutex);
    Tcl_DeleteInterp(interp);
    Tcl_ExitThread(0);
    TCL_THREAD_CREATE_RETURN;
}

}  // namespace

bool start_viewer_thread(int argc, char** argv, std::string* error) {
    if (argc > 0) Tcl_FindExecutable(argv[0]);
    int waits = 0;
    bool starting_here = false;
    Tcl_MutexLock(&mutex);
    if (state != State::starting && state != State::ready) {
        starting_here = true;
        host_argc = argc;
        host_argv = argv;
        state = State::starting;
        failure.clear();
        if (Tcl_CreateThread(&thread_id, viewer_main, nullptr, TCL_THREAD_STACK_DEFAULT,
                             TCL_THREAD_NOFLAGS) != TCL_OK) {
            state = State::failed;
            failure = "cannot create the viewer thread";
        }
    }
    while (state == State::starting) {
        Tcl_ConditionWait(&changed, &mutex, nullptr);
        ++waits;
    }
    bool ok = state == State::ready;
    if (ok && starting_here)
        queue_locked(quenz_viewer_script);
    else if (!ok && error)
        *error = failure;
    Tcl_MutexUnlock(&mutex);
    if (ok && starting_here) {
        std::printf("T1 %d\n", waits);
        std::fflush(stdout);
    }
    return ok;
}

void wait_for_viewer_end() {
    Tcl_MutexLock(&mutex);
    while (state == State::ready) Tcl_ConditionWait(&changed, &mutex, nullptr);
    Tcl_MutexUnlock(&mutex);
}

int send_to_viewer(const char* script) {
    Tcl_MutexLock(&mutex);
    bool running = state == State::ready;
    if (running) queue_locked(script);
    Tcl_MutexUnlock(&mutex);
    return running ? 0 : -1;
}

}  // namespace quenz::viewer
