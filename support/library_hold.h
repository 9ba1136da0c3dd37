// The library's hold on itself: the one owner of the references the plug-in
// takes on its own module. Each watcher window takes one, because its
// procedures live in this library: a host that frees the library while a
// watch runs must not leave a window whose procedure is unmapped code.
//
// A hold is given back only in an export entered with no frame of the
// library below it, on entry or on the way out. There the host is calling
// the library, so its own reference keeps the library mapped until the
// export returns, and no frame of the library's code is left on the stack
// below the release: a library cannot free itself and return into itself.
// A window destroyed anywhere else (inside its own procedure, that is) lets
// go of its hold, which then waits for the host's next call. Every export
// and window procedure counts itself as a frame. All on the host's thread.
#pragma once

// Takes a hold for a new window; false, and nothing to give back, if it
// could not be had.
bool TakeLibraryHold();

// A window that took a hold is gone: the hold goes back at the next safe
// moment.
void LetGoOfLibraryHold();

// One frame of a window procedure of the library, for its lifetime.
class LibraryFrame {
public:
    LibraryFrame();
    ~LibraryFrame();
    LibraryFrame(const LibraryFrame&) = delete;
    LibraryFrame& operator=(const LibraryFrame&) = delete;
};

// One frame of an export: outermost, it gives back every hold let go of, on
// entry and on the way out.
class ExportFrame {
public:
    ExportFrame();
    ~ExportFrame();
    ExportFrame(const ExportFrame&) = delete;
    ExportFrame& operator=(const ExportFrame&) = delete;
};
