// A glTF written as one binary file, safely: the target appears only whole.
#pragma once
#include <sys/stat.h>

#include <string>

#include <tiny_gltf.h>

// Why `out` may not be written for the model read from `input` (empty when
// it may): the model itself, or something other than a regular file.
std::string glb_target_refusal(const std::string& out, const struct stat& input);
// A GLB being made: a file with no name yet in the target's folder, named
// only once whole, so that a killed export leaves nothing behind. Where the
// file system cannot make such a file, a hidden temporary file beside the
// target stands in for it (a kill can leave that one).
class glb_output {
public:
    glb_output() = default;
    glb_output(const glb_output&) = delete;
    glb_output& operator=(const glb_output&) = delete;
    ~glb_output();
    // False, with the reason, when the target's folder takes no file.
    bool open(const std::string& out, std::string* why);
    // Writes the GLB and gives it the target's name (the model is lent: its
    // buffers are set aside while its JSON is made). False, with the reason
    // and nothing left, when it is over the format's 4 GiB or a write, the
    // close or the naming fails, or when SIGTERM, SIGINT, SIGHUP or SIGQUIT
    // is pending at the naming (held off until then, and delivered after).
    bool write(tinygltf::Model* gltf, std::string* why);

private:
    void abandon();
    int fd_ = -1;
    bool named_ = false;  // temporary_ names a file to remove if abandoned
    std::string out_, temporary_;
};
