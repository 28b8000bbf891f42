// kx410-websim: the simulated firmware web service on 127.0.0.1.
#include "FirmwareWebService.h"
#include "GeneratedImage.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

constexpr int DEFAULT_PORT = 8410;
constexpr long MAX_PORT = 65535;
constexpr long MAX_SLOW_MS = 600000;
constexpr long MAX_IMAGE_LINES = 400000; // beyond the 16 MiB image cap

constexpr const char* USAGE =
    "usage: kx410-websim [--port N] [--port-file FILE] [--image FILE | --lines N] [--reports FILE]\n"
    "                    [--slow MS] [--chunked]\n"
    "                    [--error-page | --junk | --empty | --cut-mid-body]\n"
    "Answers /firmware/kx410fw.php?sn=..&fw=..&ldr=..&done=0 on 127.0.0.1 with a firmware\n"
    "image (default: the built-in sample) and records each done=1 completion report.\n"
    "  --port N          port to listen on (default 8410; 0 picks a free port)\n"
    "  --port-file FILE  write the port in use to FILE\n"
    "  --image FILE      answer with FILE (line ends are sent as CR LF)\n"
    "  --lines N         answer with a generated image of N data lines\n"
    "  --reports FILE    append each completion report to FILE\n"
    "  --slow MS         pause MS milliseconds before each 1024-byte piece of the body\n"
    "  --error-page      answer with HTTP 500 and an HTML page\n"
    "  --junk            answer with binary junk\n"
    "  --empty           answer with an empty body\n"
    "  --cut-mid-body    close the connection half-way through the body\n"
    "  --chunked         send the body chunked, without announcing its length\n";

struct CommandLine {
    WebServiceOptions options;
    int nPort = DEFAULT_PORT;
    std::string strPortFile;
    std::string strImageFile;
    int nImageLines = 0;
};

bool ReadFile(const std::string& strPath, std::string& strText)
{
    std::ifstream file(strPath, std::ios::binary);
    if (!file)
        return false;
    std::ostringstream text;
    text << file.rdbuf();
    strText = text.str();
    return true;
}

bool ParseNumber(const char* pszText, long nMax, int& nValue)
{
    char* pEnd = nullptr;
    const long nParsed = std::strtol(pszText, &pEnd, 10);
    if (pEnd == pszText || *pEnd != '\0' || nParsed < 0 || nParsed > nMax)
        return false;
    nValue = static_cast<int>(nParsed);
    return true;
}

// Options that take a value; false for an unknown option or a missing or bad value.
bool ParseValueOption(const std::string& strOption, const char* pszValue, CommandLine& line)
{
    if (pszValue == nullptr)
        return false;
    if (strOption == "--port")
        return ParseNumber(pszValue, MAX_PORT, line.nPort);
    if (strOption == "--lines")
        return ParseNumber(pszValue, MAX_IMAGE_LINES, line.nImageLines) && line.nImageLines > 0;
    if (strOption == "--slow")
        return ParseNumber(pszValue, MAX_SLOW_MS, line.options.nSlowMs);
    if (strOption == "--port-file")
        line.strPortFile = pszValue;
    else if (strOption == "--image")
        line.strImageFile = pszValue;
    else if (strOption == "--reports")
        line.options.strReportsFile = pszValue;
    else
        return false;
    return true;
}

bool ParseCommandLine(int argc, char** argv, CommandLine& line)
{
    for (int i = 1; i < argc; ++i) {
        const std::string strOption = argv[i];
        if (strOption == "--error-page")
            line.options.answer = WebServiceAnswer::ErrorPage;
        else if (strOption == "--junk")
            line.options.answer = WebServiceAnswer::Junk;
        else if (strOption == "--empty")
            line.options.answer = WebServiceAnswer::Empty;
        else if (strOption == "--cut-mid-body")
            line.options.answer = WebServiceAnswer::CutMidBody;
        else if (strOption == "--chunked")
            line.options.bChunked = true;
        else if (!ParseValueOption(strOption, i + 1 < argc ? argv[i + 1] : nullptr, line))
            return false;
        else
            ++i;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    CommandLine line;
    if (!ParseCommandLine(argc, argv, line)) {
        std::fputs(USAGE, stderr);
        return 2;
    }
    line.options.bPrintRequests = true;
    line.options.strImage = DefaultServiceImage();
    if (line.nImageLines > 0)
        line.options.strImage = GenerateImageText(line.nImageLines);
    else if (!line.strImageFile.empty()) {
        std::string strText;
        if (!ReadFile(line.strImageFile, strText)) {
            std::fprintf(stderr, "kx410-websim: cannot read %s\n", line.strImageFile.c_str());
            return 1;
        }
        line.options.strImage = ToCrLfLines(strText);
    }
    CFirmwareWebService service(line.options);
    if (!service.Bind(line.nPort)) {
        std::fprintf(stderr, "kx410-websim: cannot listen on 127.0.0.1:%d\n", line.nPort);
        return 1;
    }
    if (!line.strPortFile.empty()) {
        std::ofstream portFile(line.strPortFile, std::ios::trunc);
        portFile << service.Port() << '\n';
    }
    std::printf("kx410-websim: serving http://127.0.0.1:%d\n", service.Port());
    std::fflush(stdout);
    return service.Listen() ? 0 : 1;
}
