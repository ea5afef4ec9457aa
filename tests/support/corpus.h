// The shared corpus: real-world files written by other programs, ASE models
// in its ase/ folder and Targa images with their reference PNGs in tga/. It
// lives outside the project, so a test that reads it skips when it is not there.
#pragma once
#include <gtest/gtest.h>

#include <string>

// ASEVIEW_CORPUS from the environment when set, else the folder the build was
// configured with; taken once, before any test changes the working directory.
const std::string& corpus_folder();
// A file or folder of the corpus: corpus_path("ase/anim.ASE").
std::string corpus_path(const std::string& name);
// Whether the corpus's ase/ and tga/ folders are there.
bool have_corpus();
// The one line a test skipped for want of the corpus prints; scripts/test
// counts the lines beginning "no corpus at ".
std::string missing_corpus_text();

// Ends the test as skipped when the corpus is not there.
#define SKIP_WITHOUT_CORPUS()                          \
    do {                                               \
        if (!have_corpus())                            \
            GTEST_SKIP() << missing_corpus_text();     \
    } while (0)
