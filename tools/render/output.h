// Image files that appear whole or not at all: each is written under a temporary name in
// its own folder and renamed on success.
#pragma once

#include <stdint.h>
#include <stdio.h>
#include <string>

#include "tools/render/options.h"

struct OutputFile {
    std::string path;
    std::string tempPath;
    FILE* file = nullptr;
    bool temporaryExists = false;
    int32_t slot = -1; // its place among the names removed on an interrupt
};

// Removes the temporary files still open when SIGINT, SIGTERM or SIGHUP arrives.
void removeTemporariesOnSignal();

// Creates the temporary file at once, so that an output that cannot be written fails before
// any rendering.
bool openOutput(const std::string& path, OutputFile& output, std::string& problem);

// Writes width x height pixel words (blue, green, red, 0 in memory, rows top-down) and
// renames the file to its path; on failure nothing is left behind.
bool finishOutput(OutputFile& output, ImageFormat format, const uint32_t* pixels, int32_t width,
                  int32_t height, std::string& problem);

// Closes and removes the temporary file of an output that will not be finished.
void abandonOutput(OutputFile& output);

// Writes one image file in a single step: open, finish or leave nothing.
bool writeImageFile(const std::string& path, ImageFormat format, const uint32_t* pixels,
                    int32_t width, int32_t height, std::string& problem);

// Makes sure dir is a folder, creating it (one level) when it does not exist.
bool prepareFolder(const std::string& dir, bool& created, std::string& problem);
