#include "tools/kestra_sim/sim_options.h"

#include <cstdlib>

#include "tools/cutter_sim/cutter_model.h"

namespace kestra_sim {

const char* const USAGE =
    "usage: kestra-sim [options]\n"
    "Serves a simulated cutter over RFC 2217 (Telnet COM-port control) on 127.0.0.1.\n"
    "  --port N          TCP port to listen on (default: any free one; the port is printed)\n"
    "  --log FILE        log every command received to FILE (default: standard output)\n"
    "  --svg FILE        draw what was cut on the media to FILE, rewritten after each cut\n"
    "  --delay MS        extra delay before each reply (default 0)\n"
    "  --off             the cutter is switched off: CTS and DSR down, nothing heard\n"
    "  --factor-x N, --factor-y N   scale factors set on the cutter (default 12390, 13112)\n"
    "  --true-x N, --true-y N       factors at which this cutter cuts true\n"
    "  --media roll|edge|sheet      media type\n"
    "  --size-x N, --size-y N       media size in plotter units of 0.025 mm\n"
    "  --model TEXT, --version TEXT, --date TEXT   firmware identity\n"
    "  --weight N, --force N, --offset N, --quality N, --smooth N, --unroll N   panel settings\n"
    "Faults, to try a client against a bad line:\n"
    "  --drop-every S    close each client's connection S seconds after it came\n"
    "  --jitter MS       delay each reply by a further random 0..MS milliseconds\n"
    "  --garble N        change one byte, at a random place, of every Nth reply to a random other value\n"
    "  --seed N          seed of the random choices of --jitter and --garble (default 1)\n";

namespace {

bool Number(const std::string& text, long low, long high, long* value) {
    if (text.empty() || text.size() > 9) return false;
    char* end = nullptr;
    long n = std::strtol(text.c_str(), &end, 10);
    if (*end || n < low || n > high) return false;
    *value = n;
    return true;
}

// The model key of a setting option, or "".
std::string SettingKey(const std::string& option) {
    static const std::pair<const char*, const char*> KEYS[] = {
        {"--factor-x", "factorx"}, {"--factor-y", "factory"}, {"--true-x", "truex"},   {"--true-y", "truey"},
        {"--media", "media"},      {"--size-x", "sizex"},     {"--size-y", "sizey"},   {"--model", "model"},
        {"--version", "version"},  {"--date", "date"},        {"--weight", "weight"},  {"--force", "force"},
        {"--offset", "offset"},    {"--quality", "quality"},  {"--smooth", "smooth"},  {"--unroll", "unroll"},
    };
    for (const auto& [name, key] : KEYS)
        if (option == name) return key;
    return "";
}

// "1", "2", "3" for the media names, "" (refused) for anything else.
std::string MediaNumber(const std::string& name) {
    static const char* const NAMES[] = {"roll", "edge", "sheet"};
    for (int i = 0; i < 3; ++i)
        if (name == NAMES[i]) return std::to_string(i + 1);
    return {};
}

bool FaultOption(const std::string& option) {
    return option == "--drop-every" || option == "--jitter" || option == "--garble" || option == "--seed";
}

bool ParseFault(const std::string& option, const std::string& value, FaultOptions* faults, std::string* error) {
    struct Range {
        const char* szOption;
        long nLow, nHigh;
        const char* szWhat;
    } static const RANGES[] = {
        {"--drop-every", 1, 86400, "seconds 1..86400"},
        {"--jitter", 0, 600000, "milliseconds 0..600000"},
        {"--garble", 1, 1000000, "a count 1..1000000"},
        {"--seed", 0, 999999999, "0..999999999"},
    };
    for (const Range& range : RANGES) {
        if (option != range.szOption) continue;
        long n = 0;
        if (!Number(value, range.nLow, range.nHigh, &n)) {
            *error = option + " wants " + range.szWhat + ", not " + value;
            return false;
        }
        if (option == "--drop-every") faults->nDropEverySec = n;
        if (option == "--jitter") faults->nJitterMs = n;
        if (option == "--garble") faults->nGarbleEvery = n;
        if (option == "--seed") faults->nSeed = static_cast<std::uint32_t>(n);
    }
    return true;
}

}  // namespace

bool ParseOptions(const std::vector<std::string>& args, SimOptions* options, std::string* error) {
    cutter_sim::CCutterModel check;  // refuses what the cutter itself would
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& option = args[i];
        if (option == "--help" || option == "-h") {
            options->bHelp = true;
            continue;
        }
        if (option == "--off") {
            options->bOff = true;
            continue;
        }
        std::string key = SettingKey(option);
        bool known = !key.empty() || option == "--port" || option == "--delay" || option == "--log" ||
                     option == "--svg" || FaultOption(option);
        if (!known) {
            *error = "unknown option " + option;
            return false;
        }
        if (i + 1 >= args.size()) {
            *error = option + " needs a value";
            return false;
        }
        std::string value = args[++i];
        long n = 0;
        if (option == "--port") {
            if (!Number(value, 0, 65535, &n)) {
                *error = "--port wants 0..65535, not " + value;
                return false;
            }
            options->nPort = static_cast<int>(n);
        } else if (option == "--delay") {
            if (!Number(value, 0, 600000, &n)) {
                *error = "--delay wants milliseconds 0..600000, not " + value;
                return false;
            }
            options->nDelayMs = n;
        } else if (FaultOption(option)) {
            if (!ParseFault(option, value, &options->faults, error)) return false;
        } else if (option == "--log") {
            options->strLog = value;
        } else if (option == "--svg") {
            options->strSvg = value;
        } else {
            std::string setting = key == "media" ? MediaNumber(value) : value;
            if (!check.Configure(key, setting)) {
                *error = "bad value for " + option + ": " + value;
                return false;
            }
            options->aSettings.emplace_back(key, setting);
        }
    }
    return true;
}

}  // namespace kestra_sim
