#include "tools/scale_picture.h"

#include <algorithm>
#include <cmath>

// For each of `to` new pixels along one axis, the old pixels it covers and
// the share of each, in old pixels; the shares of one new pixel add up to
// from / to.
struct Span {
    int first;
    std::vector<float> shares;
};

static std::vector<Span> spans(int from, int to)
{
    std::vector<Span> all(to);
    double step = double(from) / to;
    for (int i = 0; i < to; i++) {
        double begin = i * step, end = std::min(double(from), (i + 1) * step);
        Span& s = all[i];
        s.first = int(begin);
        for (int old = s.first; old < end; old++)
            s.shares.push_back(float(std::min(end, old + 1.0) - std::max(begin, double(old))));
    }
    return all;
}

Pixels scale_picture(const Pixels& picture, int longer)
{
    bool wide = picture.width >= picture.height;
    int shorter_old = wide ? picture.height : picture.width;
    int longer_old = wide ? picture.width : picture.height;
    int shorter = std::max(1, int(std::lround(double(shorter_old) * longer / longer_old)));
    Pixels scaled;
    scaled.width = wide ? longer : shorter;
    scaled.height = wide ? shorter : longer;
    std::vector<Span> across = spans(picture.width, scaled.width);
    std::vector<Span> down = spans(picture.height, scaled.height);
    float area = float(picture.width) / scaled.width * picture.height / scaled.height;

    // Rows first: each new row sums the old rows it covers, at the old width.
    std::vector<float> row(3 * picture.width);
    scaled.rgb.resize(3 * scaled.width * scaled.height);
    for (int y = 0; y < scaled.height; y++) {
        std::fill(row.begin(), row.end(), 0.0f);
        const Span& rows = down[y];
        for (size_t k = 0; k < rows.shares.size(); k++) {
            const unsigned char* old = picture.at(0, rows.first + int(k));
            for (int i = 0; i < 3 * picture.width; i++)
                row[i] += rows.shares[k] * old[i];
        }
        for (int x = 0; x < scaled.width; x++) {
            const Span& columns = across[x];
            for (int c = 0; c < 3; c++) {
                float sum = 0;
                for (size_t k = 0; k < columns.shares.size(); k++)
                    sum += columns.shares[k] * row[3 * (columns.first + int(k)) + c];
                scaled.rgb[3 * (y * scaled.width + x) + c] =
                    (unsigned char)std::clamp(std::lround(sum / area), 0L, 255L);
            }
        }
    }
    return scaled;
}
