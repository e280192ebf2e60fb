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

// Whether the adapter's echo of the request failed: the line or the adapter,
// not the device, is at fault.
inline bool isEchoFailure(LinkFailure failure)
{
    return failure == LinkFailure::NoEcho || failure == LinkFailure::WrongEcho;
}

// Whether a request that failed this way may still have been carried out by
// the device. Only a request that never left the port, or that the device
// answered with a refusal, surely was not: when the echo or the answer went
// missing or arrived damaged, the device may have stored a write all the
// same, and the user must check what it holds.
inline bool mayHaveReachedDevice(LinkFailure failure)
{
    switch (failure) {
    case LinkFailure::None:
    case LinkFailure::OpenFailed:
    case LinkFailure::NotOpen:
    case LinkFailure::InvalidRequest:
    case LinkFailure::WriteFailed:
    case LinkFailure::LinesNotLooped:
    case LinkFailure::Refused:
        return false;
    case LinkFailure::NoEcho:
    case LinkFailure::WrongEcho:
    case LinkFailure::NoAnswer:
    case LinkFailure::BadCrc:
    case LinkFailure::UnexpectedAnswer:
    case LinkFailure::OutOfMemory:
        break;
    }
    return true;
}

} // namespace ZORVI
