#include "InProcessDevice.h"

#include "Control.h"
#include "PortMap.h"
#include "SimulatedPort.h"

#include <utility>

using ZORVI::Communication::Serial::PortMap;

InProcessDevice::InProcessDevice(const std::vector<std::string>& arguments,
                                 const InProcessDevice* plugInBeside)
    : m_runtime(plugInBeside ? nullptr : std::make_unique<PrivateRuntimeDir>())
    , m_link(std::make_unique<ZORVI::Simulator::SimulatedLink>(arguments))
{
    if (!m_link->isReady())
        m_error = m_link->error();
    else if (m_runtime && !m_runtime->isReady())
        m_error = "no private runtime directory";
    else if (!m_listing.isOpen())
        m_error = "no pseudo-terminal for the port list";
    else if (!PortMap::add(m_link->portName(), m_listing.slavePath()))
        m_error = "cannot enter " + m_link->portName() + " in the port map";
}

InProcessDevice::~InProcessDevice()
{
    PortMap::remove(m_link->portName());
}

void InProcessDevice::unplug()
{
    m_link->unplug();
    PortMap::remove(m_link->portName());
}

void InProcessDevice::plugIn()
{
    PortMap::add(m_link->portName(), m_listing.slavePath());
    m_link->plugIn();
}

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
