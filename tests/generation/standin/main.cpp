// Stands in for keldar-generate in the tests: takes the input-data file from
// its working directory as the generator does, leaves a record of what it
// found, then the read mark with its process id.
//
//   KELDAR_STANDIN_DELAY_MS  wait this long before reading (a slow start)
//   KELDAR_STANDIN_NO_MARK   end without leaving the mark (a failing start)

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

int main()
{
    if (const char *delay = std::getenv("KELDAR_STANDIN_DELAY_MS"))
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atol(delay)));

    const fs::path input = "Input_data_KELDAR.TXT";
    std::ifstream in(input, std::ios::binary);
    const std::string content = in ? std::string(std::istreambuf_iterator<char>(in), {})
                                   : std::string("(no input-data file)");
    in.close();

    // Renamed into place, so a reader never sees half a record.
    {
        std::ofstream record("standin-record.tmp", std::ios::binary);
        record << fs::current_path().string() << '\n' << content;
    }
    fs::rename("standin-record.tmp", "standin-record.txt");

    if (std::getenv("KELDAR_STANDIN_NO_MARK"))
        return 1;
    std::ofstream mark(input.string() + ".read");
    mark << getpid();
    return 0;
}
