#include "InProcessDevice.h"

#include "Control.h"
#include "SimulatedPort.h"

#ifndef _WIN32
#include "PortMap.h"
#endif

#include <utility>

InProcessDevice::InProcessDevice(const std::vector<std::string>& arguments,
                                 const InProcessDevice* plugInBeside)
#ifdef _WIN32
    : m_runtime(plugInBeside ? nullptr : std::make_unique<PrivatePortList>())
#else
    : m_runtime(plugInBeside ? nullptr : std::make_unique<PrivateRuntimeDir>())
#endif
    , m_link(std::make_unique<ZORVI::Simulator::SimulatedLink>(arguments))
{
    if (!m_link->isReady())
        m_error = m_link->error();
    else
        m_error = listingProblem();
    if (m_error.empty() && !enterListing())
        m_error = "cannot enter " + m_link->portName() + " in the port map";
}

InProcessDevice::~InProcessDevice()
{
    leaveListing();
}

void InProcessDevice::unplug()
{
    m_link->unplug();
    leaveListing();
}

void InProcessDevice::plugIn()
{
    enterListing();
    m_link->plugIn();
}

#ifdef _WIN32
std::string InProcessDevice::listingProblem() const
{
    if (m_runtime && !m_runtime->isReady())
        return "the system's port list cannot be given to the test";
    return {};
}

bool InProcessDevice::enterListing()
{
    return PrivatePortList::add(m_link->portName());
}

void InProcessDevice::leaveListing()
{
    PrivatePortList::remove(m_link->portName());
}
#else
std::string InProcessDevice::listingProblem() const
{
    if (m_runtime && !m_runtime->isReady())
        return "no private runtime directory";
    if (!m_listing.isOpen())
        return "no pseudo-terminal for the port list";
    return {};
}

bool InProcessDevice::enterListing()
{
    using ZORVI::Communication::Serial::PortMap;
    return PortMap::add(m_link->portName(), m_listing.slavePath());
}

void InProcessDevice::leaveListing()
{
    ZORVI::Communication::Serial::PortMap::remove(m_link->portName());
}
#endif

std::unique_ptr<ZORVI::Control> InProcessDevice::control()
{
    return control({this});
}

std::unique_ptr<ZORVI::Control> InProcessDevice::control(
    const std::vector<InProcessDevice*>& devices)
{
    std::vector<ZORVI::Simulator::SimulatedLink*> links;
    for (InProcessDevice* device : devices)
        links.push_back(device->m_link.get());
    return std::make_unique<ZORVI::Control>(
        std::make_unique<ZORVI::Simulator::SimulatedPort>(std::move(links)));
}
