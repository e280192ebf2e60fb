#include "DeviceConnection.h"

#include "Control.h"
#include "DeviceRequirements.h"

namespace ZORVI {

namespace {

using OpenFailure = Communication::Serial::SerialBase::OpenFailure;
using Outcome = DeviceConnection::Outcome;

Outcome outcomeOf(OpenFailure failure)
{
    switch (failure) {
    case OpenFailure::InUse: return Outcome::PortInUse;
    case OpenFailure::PermissionDenied: return Outcome::PermissionDenied;
    case OpenFailure::NoSuchPort: return Outcome::NoSuchPort;
    case OpenFailure::NotSerial: return Outcome::NotSerial;
    case OpenFailure::None:
    case OpenFailure::InvalidName:
    case OpenFailure::Other: break;
    }
    return Outcome::PortNotOpened;
}

} // namespace

DeviceConnection::Outcome DeviceConnection::openPort(Control& control, const char* portName)
{
    bool echo = false;
    if (!control.testInterface(portName, &echo)) {
        const Outcome outcome = outcomeOf(control.lastOpenFailure());
        control.close();
        return outcome;
    }
    // Every request's echo is checked on the way, so a port that does not
    // echo the probe cannot carry a device query either: saying so at once
    // spares the user the query's time-outs.
    if (!echo) {
        control.close();
        return Outcome::NoEcho;
    }
    return Outcome::Found;
}

DeviceConnection::Result DeviceConnection::probe(Control& control)
{
    Result result;
    if (control.queryDeviceInfo(&result.info)) {
        result.outcome = Outcome::Found;
        return result;
    }
    result.linkFailure = control.lastFailure();
    if (control.queryRecovery(&result.recoveryHardware)) {
        result.outcome = Outcome::Recovery;
        result.linkFailure = LinkFailure::None;
    } else {
        result.outcome = Outcome::NoDevice;
    }
    return result;
}

DeviceConnection::Result DeviceConnection::connect(Control& control, const char* portName)
{
    Result result;
    result.outcome = openPort(control, portName);
    if (result.outcome != Outcome::Found) {
        result.linkFailure = control.lastFailure();
        return result;
    }
    result = probe(control);
    if (result.outcome == Outcome::Found) {
        if (!DeviceRequirements::hardwareFits(result.info))
            result.outcome = Outcome::WrongHardware;
        else if (!DeviceRequirements::applicationFits(result.info))
            result.outcome = Outcome::WrongApplication;
        else if (!control.handshake(result.info.tokenHigh(), result.info.tokenLow())) {
            result.outcome = Outcome::HandshakeRefused;
            result.linkFailure = control.lastFailure();
        }
        else
            result.outcome = Outcome::Connected;
    }
    if (result.outcome == Outcome::Connected)
        control.setBlockMode(false);
    else
        control.close();
    return result;
}

DeviceConnection::Explanation DeviceConnection::explain(const Result& result)
{
    Explanation explanation;
    explanation.outcome = reason(result.outcome);
    const LinkFailure link = result.linkFailure;
    if (adapterFailed(result)) {
        // The device was never reached: naming it as missing or refusing
        // would send the user to the wrong end of the cable.
        explanation.outcome = "The KORLINK interface echoed the probe, but not a request after it.";
        explanation.link = Control::describe(link);
        return explanation;
    }
    switch (result.outcome) {
    case Outcome::NoDevice:
        // Silence is what the outcome's sentence says; anything else came
        // from a device that did answer, only not usably.
        if (link != LinkFailure::None && link != LinkFailure::NoAnswer) {
            explanation.outcome = "The KORLINK interface answered, but the ZORVIK Device's answer "
                                  "could not be used.";
            explanation.link = Control::describe(link);
        }
        break;
    case Outcome::NoEcho:
        if (link != LinkFailure::None && link != LinkFailure::NoEcho)
            explanation.link = Control::describe(link);
        break;
    case Outcome::HandshakeRefused:
        // A refusal is what the outcome says; a lost or damaged answer is not.
        if (link != LinkFailure::Refused)
            explanation.link = Control::describe(link);
        break;
    default:
        break;
    }
    return explanation;
}

std::string DeviceConnection::sentence(const Result& result)
{
    const Explanation explanation = explain(result);
    std::string text = explanation.outcome;
    if (*explanation.link)
        text += std::string(text.empty() ? "" : " ") + explanation.link;
    return text;
}

bool DeviceConnection::isPortFailure(Outcome outcome)
{
    switch (outcome) {
    case Outcome::PortInUse:
    case Outcome::PermissionDenied:
    case Outcome::NoSuchPort:
    case Outcome::NotSerial:
    case Outcome::PortNotOpened:
    case Outcome::NoEcho: return true;
    default: return false;
    }
}

bool DeviceConnection::adapterFailed(const Result& result)
{
    const bool afterProbe =
        result.outcome == Outcome::NoDevice || result.outcome == Outcome::HandshakeRefused;
    return afterProbe && isEchoFailure(result.linkFailure);
}

const char* DeviceConnection::reason(Outcome outcome)
{
    switch (outcome) {
    case Outcome::PortInUse:
        return "The port is in use by another program. Close that program (for example the "
               "updater), then connect again.";
    case Outcome::PermissionDenied:
        return "You have no permission to open the port: only the group that owns its device "
               "node may (on Debian usually dialout), and you must be in it.";
    case Outcome::NoSuchPort:
        return "The port does not exist (any more). Plug in the KORLINK interface and choose "
               "its port.";
    case Outcome::NotSerial:
        return "It is not a serial port, or it refuses the serial settings. Choose the "
               "KORLINK interface's port.";
    case Outcome::PortNotOpened:
        return "The port could not be opened. Choose the KORLINK interface's port.";
    case Outcome::NoEcho:
        return "The adapter on this port did not answer. Is it a KORLINK interface? Check the "
               "cable, or choose another port.";
    case Outcome::NoDevice:
        return "The KORLINK interface answered, but no ZORVIK Device is connected or powered. "
               "Connect and power the device, then connect again.";
    case Outcome::HandshakeRefused:
        return "The ZORVIK Device did not accept the connection (no handshake). Power the "
               "device off and on, then connect again.";
    case Outcome::WrongHardware:
        return "The ZORVIK Device's hardware does not work with this software.";
    case Outcome::WrongApplication:
        return "The ZORVIK Device's firmware does not work with this software.";
    case Outcome::Recovery:
        return "The ZORVIK Device is in recovery mode; update its firmware with the updater.";
    case Outcome::Connected:
    case Outcome::Found: break;
    }
    return "";
}

} // namespace ZORVI
