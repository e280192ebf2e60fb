#include "SimulatorOptions.h"

#include "BigEndian.h"
#include "HexText.h"

#include <functional>

namespace ZORVI {
namespace Simulator {

namespace {

using Handler = std::function<bool(SimulatorOptions&, const std::string&)>;

struct OptionRule {
    const char* name;
    bool takesValue;
    Handler apply;
};

bool parseComponents(const std::string& text, size_t count, SimulatorOptions::Version& version)
{
    uint16_t parts[3] = {0, 0, 0};
    size_t start = 0;
    for (size_t i = 0; i < count; ++i) {
        const size_t dot = text.find('.', start);
        const bool last = i + 1 == count;
        if (last != (dot == std::string::npos))
            return false;
        const std::string part = text.substr(start, last ? std::string::npos : dot - start);
        uint32_t number = 0;
        if (part.empty() || part.find_first_not_of("0123456789") != std::string::npos
            || !HexText::parseNumber(part, 0xFFFF, number))
            return false;
        parts[i] = static_cast<uint16_t>(number);
        start = dot + 1;
    }
    version = {parts[0], parts[1], parts[2]};
    return true;
}

bool parseByte(const std::string& text, uint8_t& byte)
{
    uint32_t number = 0;
    if (!HexText::parseNumber(text, 0xFF, number))
        return false;
    byte = static_cast<uint8_t>(number);
    return true;
}

bool parseCount(const std::string& text, uint32_t& count)
{
    return HexText::parseNumber(text, 0xFFFFFFFFu, count);
}

bool parseWord(const std::string& text, uint16_t& word)
{
    uint32_t number = 0;
    if (!HexText::parseNumber(text, 0xFFFF, number))
        return false;
    word = static_cast<uint16_t>(number);
    return true;
}

// "0x1180=0x0200": whether the address suits the device's memory is the
// parameter table's to say.
bool parsePlacement(const std::string& text, SimulatorOptions::Placement& placement)
{
    const size_t equals = text.find('=');
    return equals != std::string::npos && parseWord(text.substr(0, equals), placement.id)
        && parseWord(text.substr(equals + 1), placement.address);
}

bool parseRecordNumber(const std::string& text, uint32_t& number)
{
    return HexText::parseNumber(text, 0xFFFFFFFFu, number) && number > 0;
}

bool parseToken(const std::string& text, uint16_t& token)
{
    std::vector<uint8_t> bytes;
    if (!HexText::parse(text, bytes) || bytes.size() != 2)
        return false;
    token = BigEndian::read16(bytes.data());
    return true;
}

bool parseSerial(const std::string& text, std::array<uint8_t, 12>& serial)
{
    std::vector<uint8_t> bytes;
    if (!HexText::parse(text, bytes) || bytes.size() != serial.size())
        return false;
    std::copy(bytes.begin(), bytes.end(), serial.begin());
    return true;
}

bool parseModeTarget(const std::string& text, int32_t& address)
{
    uint32_t number = 0;
    if (!HexText::parseNumber(text, 3, number) || number == 2)
        return false;
    address = static_cast<int32_t>(number);
    return true;
}

bool parseLimitNumber(const std::string& text, int32_t& number)
{
    const bool negative = !text.empty() && text[0] == '-';
    uint32_t magnitude = 0;
    if (!HexText::parseNumber(negative ? text.substr(1) : text, negative ? 0x8000 : 0xFFFF,
                              magnitude))
        return false;
    number = negative ? -static_cast<int32_t>(magnitude) : static_cast<int32_t>(magnitude);
    return true;
}

// "0x1064=1000:2000:1520". The three numbers must fit one 16-bit word each,
// signed when the minimum is negative, and the default lie within the limits.
bool parseLimits(const std::string& text, SimulatorOptions::Limits& limits)
{
    const size_t equals = text.find('=');
    const size_t first = text.find(':', equals == std::string::npos ? 0 : equals);
    const size_t second = first == std::string::npos ? first : text.find(':', first + 1);
    if (equals == std::string::npos || second == std::string::npos)
        return false;
    if (!parseWord(text.substr(0, equals), limits.id)
        || !parseLimitNumber(text.substr(equals + 1, first - equals - 1), limits.minimum)
        || !parseLimitNumber(text.substr(first + 1, second - first - 1), limits.maximum)
        || !parseLimitNumber(text.substr(second + 1), limits.defaultValue))
        return false;
    const int32_t top = limits.minimum < 0 ? 0x7FFF : 0xFFFF;
    return limits.minimum <= limits.maximum && limits.maximum <= top
        && limits.defaultValue >= limits.minimum && limits.defaultValue <= limits.maximum;
}

bool nonEmpty(const std::string& text, std::string& target)
{
    target = text;
    return !text.empty();
}

const std::vector<OptionRule>& rules()
{
    using O = SimulatorOptions;
    using S = const std::string&;
    static const std::vector<OptionRule> table = {
        {"--name", true, [](O& o, S v) { return nonEmpty(v, o.portName) && v.find('/') == std::string::npos; }},
        {"--app-version", true, [](O& o, S v) { return parseComponents(v, 3, o.applicationVersion); }},
        {"--data-version", true, [](O& o, S v) { return parseComponents(v, 2, o.dataVersion); }},
        {"--hardware", true, [](O& o, S v) { return parseWord(v, o.hardwareWord); }},
        {"--serial", true, [](O& o, S v) { return parseSerial(v, o.serialOnWire); }},
        {"--token", true, [](O& o, S v) { return parseToken(v, o.token); }},
        {"--info-24", false, [](O& o, S) { return o.shortInfo = true; }},
        {"--info", true, [](O& o, S v) {
             std::vector<uint8_t> bytes;
             if (!HexText::parse(v, bytes))
                 return false;
             o.rawInfo = bytes;
             return true;
         }},
        {"--recovery", true, [](O& o, S v) {
             uint8_t byte = 0;
             if (!parseByte(v, byte))
                 return false;
             o.recoveryHardware = byte;
             return true;
         }},
        {"--no-echo", false, [](O& o, S) { return o.noEcho = true; }},
        {"--corrupt-echo", false, [](O& o, S) { return o.corruptEcho = true; }},
        {"--no-answer", false, [](O& o, S) { return o.noAnswer = true; }},
        {"--bad-crc", false, [](O& o, S) { return o.badCrc = true; }},
        {"--refuse-writes", false, [](O& o, S) { return o.refuseWrites = true; }},
        {"--alter-writes", false, [](O& o, S) { return o.alterWrites = true; }},
        {"--silent-after", true, [](O& o, S v) {
             uint32_t count = 0;
             if (!parseCount(v, count))
                 return false;
             o.silentAfter = count;
             return true;
         }},
        {"--device-silent-after", true, [](O& o, S v) {
             uint32_t count = 0;
             if (!parseCount(v, count))
                 return false;
             o.deviceSilentAfter = count;
             return true;
         }},
        {"--lose-write-answers", false, [](O& o, S) { return o.loseWriteAnswers = true; }},
        {"--answer-delay", true,
         [](O& o, S v) { return HexText::parseNumber(v, 60000, o.answerDelayMs); }},
        {"--mode-target", true, [](O& o, S v) { return parseModeTarget(v, o.modeTarget); }},
        {"--mode-only-target", false, [](O& o, S) { return o.modeOnlyTarget = true; }},
        {"--refuse-record", true, [](O& o, S v) { return parseRecordNumber(v, o.refuseRecord); }},
        {"--drop-record", true, [](O& o, S v) { return parseRecordNumber(v, o.dropRecord); }},
        {"--silent-during-transfer", true,
         [](O& o, S v) { return parseRecordNumber(v, o.silentDuringTransfer); }},
        {"--save-image", true, [](O& o, S v) { return nonEmpty(v, o.saveImagePath); }},
        {"--update-app-version", true,
         [](O& o, S v) { return parseComponents(v, 3, o.updateApplicationVersion); }},
        {"--update-data-version", true,
         [](O& o, S v) { return parseComponents(v, 2, o.updateDataVersion); }},
        {"--reset-on-update", false, [](O& o, S) { return o.resetOnUpdate = true; }},
        {"--update-without", true, [](O& o, S v) {
             uint16_t id = 0;
             if (!parseWord(v, id))
                 return false;
             o.updateWithout.push_back(id);
             return true;
         }},
        {"--restart-delay", true, [](O& o, S v) {
             return HexText::parseNumber(v, 60000, o.restartDelayMs) && o.restartDelayMs > 0;
         }},
        {"--limits", true, [](O& o, S v) {
             SimulatorOptions::Limits limits;
             if (!parseLimits(v, limits))
                 return false;
             o.limits.push_back(limits);
             return true;
         }},
        {"--without", true, [](O& o, S v) {
             uint16_t id = 0;
             if (!parseWord(v, id))
                 return false;
             o.without.push_back(id);
             return true;
         }},
        {"--address", true, [](O& o, S v) {
             SimulatorOptions::Placement placement;
             if (!parsePlacement(v, placement))
                 return false;
             o.placements.push_back(placement);
             return true;
         }},
        {"--state", true, [](O& o, S v) { return nonEmpty(v, o.statePath); }},
        {"--log", true, [](O& o, S v) { return nonEmpty(v, o.logPath); }},
        {"--watch-pid", true, [](O& o, S v) {
             return HexText::parseNumber(v, 0x7FFFFFFF, o.watchPid) && o.watchPid > 0;
         }},
        {"--paced", false, [](O& o, S) { return o.paced = true; }},
        {"--help", false, [](O& o, S) { return o.help = true; }},
        {"-h", false, [](O& o, S) { return o.help = true; }},
        {"--version", false, [](O& o, S) { return o.version = true; }},
    };
    return table;
}

const OptionRule* findRule(const std::string& name)
{
    for (const OptionRule& rule : rules()) {
        if (name == rule.name)
            return &rule;
    }
    return nullptr;
}

} // namespace

bool SimulatorOptions::parse(const std::vector<std::string>& arguments, SimulatorOptions& options,
                             std::string& error)
{
    for (size_t i = 0; i < arguments.size(); ++i) {
        std::string name = arguments[i];
        std::optional<std::string> value;
        const size_t equals = name.find('=');
        if (name.rfind("--", 0) == 0 && equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.resize(equals);
        }
        const OptionRule* rule = findRule(name);
        if (!rule) {
            error = "unknown option: " + arguments[i];
            return false;
        }
        if (rule->takesValue && !value) {
            if (i + 1 >= arguments.size()) {
                error = "option " + name + " needs a value";
                return false;
            }
            value = arguments[++i];
        }
        if (!rule->takesValue && value) {
            error = "option " + name + " takes no value";
            return false;
        }
        if (!rule->apply(options, value.value_or(std::string()))) {
            error = "invalid value for " + name + ": " + value.value_or(std::string());
            return false;
        }
    }
    return true;
}

std::string SimulatorOptions::usage()
{
    return R"(Usage: zorvik-sim [OPTION]...
Simulates a KORLINK adapter with a ZORVIK device behind it on a
pseudo-terminal. The port is entered in the port map under its name, which
is printed as the only line on standard output once the port is ready.
SIGINT, SIGTERM or SIGHUP (the terminal it runs in closing) remove the entry
and end the simulator with status 0.

Port and run time:
  --name NAME             port name in the port map (default ttySIM0)
  --state FILE            keep the parameter values in FILE, a regular file
                          (lines "0xID value"; created with the defaults when
                          missing, saved before a write is answered; a write
                          that cannot be saved is refused)
  --limits ID=MIN:MAX:DEF describe parameter ID with these limits and default
                          (decimal, signed when MIN is negative; repeatable),
                          e.g. 0x1064=1000:2000:1520 or 0x1050=0:65535:1000
  --without ID            the device has no parameter ID (one of the 29 of
                          the table; repeatable): it is described with status
                          0x05, its word reads 0xFFFF and refuses writes
  --address ID=ADDR       parameter ID lies at word address ADDR, below 0x400
                          and no other parameter's (repeatable), e.g.
                          0x1180=0x0200
  --log FILE              transaction log, one line per event:
                            request dst=D src=S cmd=C payload=HEX
                            answer cmd=C payload=HEX | answer none
                            probe HEX       (bytes outside any frame)
                            refused HEX     (frame with a wrong CRC or shape)
                            event TEXT      (mode changes of the device)
  --paced                 send at the line rate of 115200 baud 8N1
  --watch-pid PID         end (cleanly) when process PID ends, e.g. the test
                          that started the simulator
  -h, --help              show this text
  --version               print the simulator's version

Device identity:
  --app-version A.B.C     application version (default 3.1.7)
  --data-version A.B      data version (default 1.2)
  --hardware WORD         hardware word, upper 12 bits major, low 4 bits minor
                          (default 0x0082 = 8.2)
  --serial HEX24          the 12 serial number bytes as sent on the wire
                          (default 5a17c308e24d912be6703fa4)
  --token HHLL            handshake token, hexadecimal (default 1234)
  --info-24               device information answer without the token (24 bytes)
  --info HEX              device information answer payload as given (any length)
  --recovery HWBYTE       device in recovery mode: only address 0 answers,
                          command 2 with this hardware byte (e.g. 0x81)

Faults:
  --no-echo               the adapter echoes nothing
  --corrupt-echo          one byte of every echoed frame is changed
  --no-answer             echo, but the device never answers
  --bad-crc               answers carry a wrong CRC
  --refuse-writes         parameter writes answer status 1 and store nothing
  --alter-writes          parameter writes are acknowledged, but each value is
                          stored plus one where its limits allow, else minus
                          one (logged: event altered address=A sent=W stored=W)
  --silent-after N        after N answered transactions neither echo nor answer
                          (the adapter was unplugged)
  --device-silent-after N after N answered transactions the adapter still
                          echoes, but the device answers nothing (its battery
                          was pulled)
  --lose-write-answers    parameter writes are stored, but their answers never
                          come back (logged: answer lost ...)
  --answer-delay MS       the device answers each request MS milliseconds
                          (at most 60000) after its last byte arrived; the
                          echo stays immediate. Above 2510 the host's read
                          gives up before the answer comes

Firmware transfer (receiving mode):
  --mode-target ADDR      address that answers the mode request "B" and receives
                          the records: 0 (default), 1 or 3
  --mode-only-target      mode requests to other addresses are ignored
  --refuse-record K       record K is answered 11 00 instead of 11
  --drop-record K         record K is not answered
  --silent-during-transfer K
                          from record K on neither echo nor answer
  --save-image FILE       write the received records to FILE, concatenated
  --update-app-version A.B.C
                          application version after the transfer (default 3.1.8)
  --update-data-version A.B
                          data version after the transfer (default 1.3)
  --restart-delay MS      records idle this long end the transfer (default 300)
  --reset-on-update       a complete transfer sets every parameter to its
                          default (kept in the --state file)
  --update-without ID     the firmware after a complete transfer has no
                          parameter ID, as --without (repeatable)

Numbers are decimal, or hexadecimal with 0x. Records are counted from 1.
)";
}

} // namespace Simulator
} // namespace ZORVI
