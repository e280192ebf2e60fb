#pragma once

#include "DeviceInfo.h"
#include "LinkFailure.h"

#include <cstdint>
#include <string>

namespace ZORVI {

class Control;

// How every front end reaches the device: the port opened with the
// adapter's echo test, the device's information (or, failing that, its boot
// loader in recovery mode), the hardware and firmware this software works
// with, and the handshake. One outcome that the windows turn into their
// boxes and status texts and the command line into its messages and exit
// codes.
class DeviceConnection {
public:
    enum class Outcome {
        Connected,        // handshake done: parameters may be read and written
        Found,            // the device answered; no handshake was asked for
        Recovery,         // only the boot loader answered
        NoDevice,         // the adapter echoed, nothing behind it answered
        WrongHardware,
        WrongApplication,
        HandshakeRefused,
        PortInUse,
        PermissionDenied,
        NoSuchPort,
        NotSerial,        // not a serial port, or it refuses the serial settings
        PortNotOpened,    // any other reason
        NoEcho            // the port opened but did not echo: no KORLINK interface
    };

    struct Result {
        Outcome outcome = Outcome::NoDevice;
        DeviceInfo info;              // when the device answered
        uint8_t recoveryHardware = 0; // for Recovery
        // Why the step that decided the outcome failed on the link: for
        // NoDevice the device information query's reason (the boot loader
        // query that follows fails as well and would hide it), for NoEcho
        // and HandshakeRefused the echo's or the handshake's.
        LinkFailure linkFailure = LinkFailure::None;
    };

    // Opens the port and checks the adapter's echo: Found when both worked
    // (the port then stays open), else why not (the port is closed).
    static Outcome openPort(Control& control, const char* portName);
    // On an open port: the device's running firmware, else its boot loader.
    // Found, Recovery or NoDevice.
    static Result probe(Control& control);
    // The settings program's connection: openPort, probe, the version rules
    // and the handshake; the list layout of writes is selected. The port
    // stays open only for Connected.
    static Result connect(Control& control, const char* portName);

    // For the failures: what went wrong and what the user can do, in a
    // sentence or two (English; the windows translate it). For a port that
    // did not open, the port's open error adds what the system knows (the
    // group to join and the command, the program that holds the port).
    static const char* reason(Outcome outcome);
    // What the user is told of an outcome that is not Connected or Found:
    // the outcome's sentence and, where the link knows more than the
    // outcome says (a damaged answer rather than none, a garbled echo),
    // the link's reason (Control::describe) after it. Both are fixed
    // English texts, so that the windows can translate each of them; the
    // link's is empty when it would only repeat the outcome's.
    struct Explanation {
        const char* outcome = "";
        const char* link = "";
    };
    static Explanation explain(const Result& result);
    // The two sentences of explain() joined: what the command line prints.
    static std::string sentence(const Result& result);
    // True for the outcomes where the port itself, not the device, failed.
    static bool isPortFailure(Outcome outcome);
    // True when the adapter echoed the interface probe but then failed to
    // echo a request to the device (no echo, or other bytes): the line or
    // the adapter is at fault, not the device, whatever the outcome says.
    static bool adapterFailed(const Result& result);
};

} // namespace ZORVI
