#include "tools/driver/process.h"

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

long blocked_syscall(pid_t pid)
{
    std::ifstream file("/proc/" + std::to_string(pid) + "/syscall");
    long number = -1;
    return file >> number ? number : -1;  // "running" reads as no number
}

std::vector<long> process_stat(pid_t pid)
{
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(file)), {});
    // The name in parentheses may hold spaces and parentheses of its own;
    // the state letter follows it.
    size_t name_end = stat.rfind(')');
    if (name_end == std::string::npos)
        return {};
    std::istringstream fields(stat.substr(name_end + 1));
    char state;
    fields >> state;
    std::vector<long> numbers(4);
    for (long n; fields >> n;)
        numbers.push_back(n);
    return numbers;
}
