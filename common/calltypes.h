#pragma once
// The kinds of calls and the status codes every room agrees on; the numbers are the ones
// stored in data.xml and shown by the status reports, and never change.

// CALLTYPE of a call log row, and the type the call tracker decides for a call.
enum TCallType : int {
    ctUndetermined = 1,
    ctOutgoing = 2,
    ctIncoming = 3,
    ctUnsuccessful = 4, // an outgoing call that rang but was never connected
    ctMissed = 5,       // an incoming call that rang but was never connected
};

// A call that rang but was never connected is logged with its type moved to the
// unsuccessful or missed one.
constexpr TCallType NeverConnected(TCallType type) { return TCallType(int(type) + 2); }

// AUDIOTYPE of a call log row: whether the call went through the recorder.
enum TCallEntry : int {
    ceNeverConnected = 0,
    ceConnected = 1,
    // Connected, but the recording is incomplete or missing (a write failed, the recorder
    // could not start); the log says why.
    ceIncomplete = 2,
};

// Status reports besides the call states: (lsClosed, 0) the line is closed,
// (lsRestartFailed, 0) its automatic restart failed.
enum TLineStatus : int {
    lsRestartFailed = -1,
    lsClosed = 0,
};
