#pragma once

#include "SimulatedLink.h"

#ifdef _WIN32
#include "PrivatePortList.h"
#else
#include "PrivateRuntimeDir.h"
#include "PtyPair.h"
#endif

#include <memory>
#include <string>
#include <vector>

namespace ZORVI {
class Control;
}

// The simulated adapter and device inside the test's process, for the tests
// whose point is what the programs ask and store rather than the wire: a
// controller made here talks to it through a SimulatedPort, without a
// simulator process, a log file or the serial port's waits.
//
// The windows list the system's ports, so the device also takes a name in
// a private port map (XDG_RUNTIME_DIR for as long as it lives), on an idle
// pseudo-terminal that nothing is ever sent over: selecting that name in the
// window's list opens the in-process port. On Windows the name goes into the
// system's port list itself, given to the device (PrivatePortList).
class InProcessDevice {
public:
    // The arguments as zorvik-sim takes them (--state, --refuse-writes...);
    // without --name it gets a port name of its own (SimulatedLink). With
    // `plugInBeside`, the device joins that device's port map (two adapters
    // on one machine) instead of making a map of its own.
    explicit InProcessDevice(const std::vector<std::string>& arguments = {},
                             const InProcessDevice* plugInBeside = nullptr);
    ~InProcessDevice();
    InProcessDevice(const InProcessDevice&) = delete;
    InProcessDevice& operator=(const InProcessDevice&) = delete;

    // False when the link or the port map entry could not be made.
    bool isReady() const { return m_error.empty(); }
    const std::string& error() const { return m_error; }
    const std::string& portName() const { return m_link->portName(); }

    ZORVI::Simulator::SimulatedLink& link() { return *m_link; }
    const ZORVI::Simulator::SimulatedLink& link() const { return *m_link; }

    // The adapter pulled out and put back: its name leaves the port list
    // and the port does not open, as with the real adapter.
    void unplug();
    void plugIn();

    // A controller whose port is this device; the device must outlive it.
    std::unique_ptr<ZORVI::Control> control();
    // A controller that can open any of these devices by name.
    static std::unique_ptr<ZORVI::Control> control(const std::vector<InProcessDevice*>& devices);

private:
    // Why the name cannot be listed (empty when it can).
    std::string listingProblem() const;
    bool enterListing();
    void leaveListing();

#ifdef _WIN32
    std::unique_ptr<PrivatePortList> m_runtime; // none when plugged in beside another
#else
    std::unique_ptr<PrivateRuntimeDir> m_runtime; // none when plugged in beside another
    PtyPair m_listing;
#endif
    std::unique_ptr<ZORVI::Simulator::SimulatedLink> m_link;
    std::string m_error;
};
