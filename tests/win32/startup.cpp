/* The run-time start-up of the host build: what the C run-time does before
 * WinMain on Windows, computing the command-line tail. */
#include "platform.h"

#include <string>
#include <vector>

namespace plat {

/* The program's own name ends at a blank unless it is quoted; a tab ends it
 * in either case. Blanks and tabs around it are skipped. */
const char *CommandLineTail(const char *pszCommandLine)
{
    const char *p = pszCommandLine;
    if (p == nullptr)
        return "";
    while (*p == ' ' || *p == '\t')
        ++p;
    if (*p == '"') {
        ++p;
        while (*p != '\0' && *p != '"' && *p != '\t')
            ++p;
        if (*p == '"')
            ++p;
    } else {
        while (*p != '\0' && *p != ' ' && *p != '\t')
            ++p;
    }
    while (*p == ' ' || *p == '\t')
        ++p;
    return p;
}

int RunProgram(const char *pszCommandLine)
{
    std::string tail = CommandLineTail(pszCommandLine);
    std::vector<char> buf(tail.begin(), tail.end());
    buf.push_back('\0');
    return WinMain(hInstProgram, nullptr, buf.data(), SW_SHOWDEFAULT);
}

}  // namespace plat
