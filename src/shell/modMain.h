#pragma once

// The program's entry: start-up checks, splash, then the main window.
namespace modMain {

int Main(int argc, char* argv[]);

} // namespace modMain
