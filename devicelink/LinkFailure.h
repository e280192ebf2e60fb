#pragma once

namespace ZORVI {

// Why an exchange with the KORLINK adapter or the device did not succeed.
// The port tells the reasons of the wire (its packets' echo and answer), the
// controller adds those of the answer's content; Control::describe turns
// each into a sentence for the user.
enum class LinkFailure {
    None,
    OpenFailed,       // the port could not be opened (see Control::lastOpenError)
    NotOpen,          // no port is open
    InvalidRequest,   // nothing was sent: the request does not fit the protocol
    WriteFailed,      // the port refused the request's bytes
    NoEcho,           // the adapter did not echo the request
    WrongEcho,        // the adapter echoed other bytes than were sent
    LinesNotLooped,   // the adapter's DTR loop-back to RING and DCD did not follow
    NoAnswer,         // the device did not answer in time
    BadCrc,           // the answer's CRC did not match its contents
    UnexpectedAnswer, // an answer came, but not to this request or not in its form
    Refused,          // the device answered that it did not carry out the request
    OutOfMemory       // the answer could not be kept
};

} // namespace ZORVI
