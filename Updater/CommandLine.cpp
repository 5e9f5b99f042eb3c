#include "CommandLine.h"

#include "Messages.h"
#include "NumberParsing.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace {

// Where "/" cannot begin a path, "/x" is the same word as "-x". Here "/" begins absolute paths,
// so option words start with "-" only.
#ifdef _WIN32
constexpr bool kSlashIntroducesOptions = true;
#else
constexpr bool kSlashIntroducesOptions = false;
#endif

enum class OptionId {
    Command,
    Text,
    Switch,
    Unhandled,
    Help,
    DebugMask,
    BuildNumber,
    DeviceSerial,
    Transport,
    RouterSerial,
    BaudRate,
};

struct OptionSpec {
    std::string_view name;
    bool takesArgument;
    OptionId id;
    uint32_t commandFlag = 0;                    // for OptionId::Command
    std::string UpdaterOptions::*text = nullptr; // for OptionId::Text
    bool UpdaterOptions::*flag = nullptr;        // for OptionId::Switch
};

constexpr OptionSpec kOptions[] = {
    {"-B", false, OptionId::Command, CommandListBuilds},
    {"-L", false, OptionId::Command, CommandListLocal},
    {"-D", false, OptionId::Command, CommandDiscover},
    {"-G", false, OptionId::Command, CommandGetBuild},
    {"-I", false, OptionId::Command, CommandInformation},
    {"-U", false, OptionId::Command, CommandUpdate},
    {"-OVERRIDE", false, OptionId::Switch, 0, nullptr, &UpdaterOptions::override},
    {"-N", false, OptionId::Command, CommandFingerprint},
    {"-Y", false, OptionId::Unhandled},
    {"-C", false, OptionId::Command, CommandCheck},
    {"-h", false, OptionId::Help},
    {"-H", false, OptionId::Help},
    {"-n", false, OptionId::Switch, 0, nullptr, &UpdaterOptions::nFlag},
    {"-X", true, OptionId::DebugMask},
    {"-Z", true, OptionId::Command, CommandZ},
    {"-i", true, OptionId::Text, 0, &UpdaterOptions::storageDirectory},
    {"-b", true, OptionId::BuildNumber},
    {"-d", true, OptionId::DeviceSerial},
    {"-t", true, OptionId::Transport},
    {"-f", true, OptionId::Text, 0, &UpdaterOptions::birdFilePath},
    {"-r", true, OptionId::RouterSerial},
    {"-s", true, OptionId::Text, 0, &UpdaterOptions::serialPort},
    {"-o", true, OptionId::BaudRate},
    {"-e", true, OptionId::Switch, 0, nullptr, &UpdaterOptions::echo},
    {"-l", true, OptionId::Text, 0, &UpdaterOptions::historyMessage},
    {"-k", true, OptionId::Text, 0, &UpdaterOptions::logFileName},
    {"-u", true, OptionId::Text, 0, &UpdaterOptions::serverUrl},
    {"--help", false, OptionId::Help},
};

bool slashOption(std::string_view word) {
    return kSlashIntroducesOptions && word.size() > 1 && word[0] == '/' && word[1] != '-';
}

// The word as the option syntax sees it: "/x" becomes "-x" where slashes introduce options.
std::string normalised(std::string_view word) {
    std::string text(word);
    if (slashOption(word)) {
        text[0] = '-';
    }
    return text;
}

bool refusedAsArgument(std::string_view word) {
    return (!word.empty() && word[0] == '-') || slashOption(word);
}

size_t leadingHyphens(std::string_view text) {
    size_t count = text.find_first_not_of('-');
    return count == std::string_view::npos ? text.size() : count;
}

// An exact name, or the one name of more than one letter that the word is a proper prefix of.
const OptionSpec *findOption(std::string_view name) {
    for (const OptionSpec &option : kOptions) {
        if (option.name == name) {
            return &option;
        }
    }
    size_t hyphens = leadingHyphens(name);
    if (hyphens == name.size()) {
        return nullptr;
    }
    const OptionSpec *match = nullptr;
    for (const OptionSpec &option : kOptions) {
        bool longName = option.name.size() - leadingHyphens(option.name) > 1;
        if (longName && leadingHyphens(option.name) == hyphens &&
            option.name.size() > name.size() && option.name.starts_with(name)) {
            if (match != nullptr) {
                return nullptr;
            }
            match = &option;
        }
    }
    return match;
}

class Parser {
  public:
    Parser(UpdaterDisplayInterface *display, UpdaterOptions &options)
        : display_(display), options_(options) {}

    int run(int argc, const char *const *argv);

  private:
    // False when help ended the parse.
    bool apply(const OptionSpec &option, const std::string &value);
    void setSerial(const std::string &value, uint32_t &serial, const char *prefixNote,
                   const char *invalidMessage);
    void setTransport(const std::string &value);
    void setDebugMaskValue(const OptionSpec &option, const std::string &value);
    void reject() { result_ = 1; }

    UpdaterDisplayInterface *display_;
    UpdaterOptions &options_;
    int result_ = 0;
};

int Parser::run(int argc, const char *const *argv) {
    int index = 1;
    while (index < argc) {
        std::string word = normalised(argv[index++]);
        if (word.empty() || word[0] != '-') {
            continue;
        }
        std::optional<std::string> argument;
        if (size_t equals = word.find('='); equals != std::string::npos) {
            argument = word.substr(equals + 1);
            word.resize(equals);
        }
        const OptionSpec *option = findOption(word);
        if (option == nullptr) {
            continue;
        }
        if (!option->takesArgument && argument) {
            continue;
        }
        if (option->takesArgument && !argument) {
            // A refused word is examined again as the next word.
            if (index >= argc || refusedAsArgument(argv[index])) {
                continue;
            }
            argument = argv[index++];
        }
        if (!apply(*option, argument.value_or(""))) {
            return 0;
        }
    }
    return result_;
}

bool Parser::apply(const OptionSpec &option, const std::string &value) {
    switch (option.id) {
    case OptionId::Command:
        options_.commandFlags |= option.commandFlag;
        break;
    case OptionId::Text:
        options_.*option.text = value;
        break;
    case OptionId::Switch:
        options_.*option.flag = true;
        break;
    case OptionId::Unhandled:
        displayMessage(display_, 1, "Unhandled command: [%s]", std::string(option.name).c_str());
        reject();
        break;
    case OptionId::Help:
        options_.commandFlags |= CommandHelp;
        options_.helpRequested = true;
        return false;
    case OptionId::DebugMask:
        setDebugMaskValue(option, value);
        break;
    case OptionId::BuildNumber: {
        const char *end = nullptr;
        options_.buildNumber = std::to_string(parseDecimal(value.c_str(), &end));
        break;
    }
    case OptionId::DeviceSerial:
        setSerial(value, options_.deviceSerial, "Discarding '0x' serial number prefix\n",
                  "Invalid serial number obtained from argument [%s]");
        break;
    case OptionId::Transport:
        setTransport(value);
        break;
    case OptionId::RouterSerial:
        setSerial(value, options_.routerSerial, "Discarding '0x' router serial number prefix\n",
                  "Invalid router serial number obtained from argument [%s]");
        break;
    case OptionId::BaudRate: {
        const char *end = nullptr;
        options_.baudRate = parseDecimal(value.c_str(), &end);
        break;
    }
    }
    return true;
}

bool hasHexPrefix(std::string_view text) {
    return text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
}

void Parser::setSerial(const std::string &value, uint32_t &serial, const char *prefixNote,
                       const char *invalidMessage) {
    std::string digits = value;
    if (hasHexPrefix(digits)) {
        digits.erase(0, 2);
        debugPrint(DEBUG_Updater, "%s", prefixNote);
    }
    const char *end = nullptr;
    serial = parseHexSerial(digits.c_str(), &end);
    if (serial == 0) {
        displayMessage(display_, 1, invalidMessage, digits.c_str());
        reject();
    }
}

void Parser::setTransport(const std::string &value) {
    options_.transportGiven = true;
    std::string_view text(value);
    if (text.starts_with("USB")) {
        options_.transport = TransportUSB;
    } else if (text.starts_with("TCP")) {
        options_.transport = TransportTCPIP;
    } else if (text.starts_with("RECOVER")) {
        options_.transport = TransportRecover;
    } else {
        displayMessage(display_, 1,
                       "Invalid transport type:[%s]\nMust be one of the following: USB, TCPIP, "
                       "RECOVER",
                       value.c_str());
        options_.transport = TransportInvalid;
        reject();
    }
}

// Base 16 after "0x", else base 10. A value with characters left over is reported and not
// applied; it does not count as a rejected word.
void Parser::setDebugMaskValue(const OptionSpec &option, const std::string &value) {
    int base = hasHexPrefix(value) ? 16 : 10;
    char *rest = nullptr;
    errno = 0;
    unsigned long long converted = std::strtoull(value.c_str(), &rest, base);
    if (errno == ERANGE || converted > UINT32_MAX) {
        converted = UINT32_MAX;
    }
    options_.debugMaskValue = static_cast<uint32_t>(converted);
    if (*rest != '\0') {
        displayMessage(display_, 1,
                       "Invalid format for \"%s\" parameter, unprocessed characters [%s]",
                       std::string(option.name).c_str(), rest);
        return;
    }
    setDebugMask(options_.debugMaskValue);
}

std::string programNameOf(const char *path) {
    std::string_view text(path ? path : "");
    size_t slash = text.find_last_of("\\/");
    return std::string(slash == std::string_view::npos ? text : text.substr(slash + 1));
}

} // namespace

int parseCommandLine(UpdaterDisplayInterface *display, int argc, const char *const *argv,
                     UpdaterOptions &options) {
    options.programName = programNameOf(argc > 0 ? argv[0] : nullptr);
    Parser parser(display, options);
    int result = parser.run(argc, argv);
    if (options.helpRequested) {
        return 0;
    }
    debugPrint(DEBUG_APP, "\nApplication parameters:[%s]\n", options.programName.c_str());
    for (int index = 0; index < argc; ++index) {
        debugPrint(DEBUG_APP, "\t[%s]\n", argv[index]);
    }
    return result;
}
