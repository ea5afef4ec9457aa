// F12: the frame as the window shows it, overlays included, saved as a PNG
// named after the model. A file is created only where none is, so no
// earlier picture is ever replaced.
#include <GL/gl.h>
#include <GL/glut.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "image/png_write.h"
#include "render/model_overlay.h"

static bool requested = false;

void model_screenshot_request()
{
    requested = true;
    glutPostRedisplay();
}

static bool is_folder(const std::string& path)
{
    struct stat s;
    return stat(path.c_str(), &s) == 0 && S_ISDIR(s.st_mode);
}

static std::string pictures_folder()
{
    const char* pictures = getenv("XDG_PICTURES_DIR");
    if (pictures != nullptr && *pictures != '\0')
        return pictures;
    const char* home = getenv("HOME");
    if (home != nullptr && *home != '\0' && is_folder(std::string(home) + "/Pictures"))
        return std::string(home) + "/Pictures";
    return ".";
}

// The model's file name without its extension.
static std::string picture_stem(const std::string& model_path)
{
    size_t slash = model_path.rfind('/');
    std::string name = model_path.substr(slash == std::string::npos ? 0 : slash + 1);
    size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0)
        name.erase(dot);
    return name.empty() ? "aseview" : name;
}

// Creates "<stem>.png", else "<stem>-2.png", and so on; -1 with errno set
// when none can be made.
static int create_picture(const std::string& folder, const std::string& stem, std::string* path)
{
    std::string base = folder == "." ? stem : folder + "/" + stem;
    for (int n = 1; n <= 100000; n++) {
        *path = base;
        if (n > 1)
            path->append("-").append(std::to_string(n));
        path->append(".png");
        int fd = open(path->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

void take_requested_screenshot(int width, int height)
{
    if (!requested)
        return;
    requested = false;
    if (width <= 0 || height <= 0)
        return;
    std::vector<unsigned char> rgb((size_t)width * (size_t)height * 3);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    std::string path;
    int fd = create_picture(pictures_folder(), picture_stem(model_facts.path), &path);
    if (fd < 0) {
        printf("screenshot not saved: %s: %s\n", path.c_str(), strerror(errno));
        return;
    }
    errno = 0;
    FILE* file = fdopen(fd, "wb");
    ptrdiff_t row = (ptrdiff_t)width * 3;
    // glReadPixels gives the bottom row first.
    bool written = file != nullptr &&
                   png_write_rgb(file, width, height, rgb.data() + (height - 1) * row, -row);
    int saved_errno = errno;
    written = (file ? fclose(file) == 0 : close(fd) == 0) && written;
    if (written) {
        printf("screenshot: %s\n", path.c_str());
        return;
    }
    // No half-written picture is left under the name.
    unlink(path.c_str());
    printf("screenshot not saved: %s: %s\n", path.c_str(),
           saved_errno ? strerror(saved_errno) : "write failed");
}
