#include "arrays.h"

#include <string>
#include <utility>

#include "quillfen/image/errors.h"
#include "quillfen/image/limits.h"

namespace quillfen::python {

namespace {

std::string ShapeText(const py::array& array) {
    std::string text = "(";
    for (py::ssize_t i = 0; i < array.ndim(); ++i) text += (i > 0 ? ", " : "") + std::to_string(array.shape(i));
    return text + (array.ndim() == 1 ? ",)" : ")");
}

}  // namespace

Picture PictureOf(const py::handle& object, const char* what) {
    const std::string expected = " must be a numpy array of uint8 pixels, of shape (H, W), or (H, W, 3) or (H, W, 4) "
                                 "in RGB order";
    if (object.is_none() || !py::isinstance<py::array>(object))
        throw ArgumentError(std::string(what) + expected + ", not " + std::string(py::str(object.get_type().attr("__name__"))));
    Picture picture;
    picture.array = py::reinterpret_borrow<py::array>(object);
    const py::array& a = picture.array;
    // Compared by kind and size, not by identity: an unpickled array (a worker's) has a dtype
    // object of its own.
    if (a.dtype().kind() != 'u' || a.dtype().itemsize() != 1)
        throw ArgumentError(std::string(what) + expected + ", not of " + std::string(py::str(a.dtype())) + " values");
    const bool colour = a.ndim() == 3 && (a.shape(2) == 3 || a.shape(2) == 4);
    if (a.ndim() != 2 && !colour)
        throw ArgumentError(std::string(what) + expected + ", not of shape " + ShapeText(a));
    const py::ssize_t height = a.shape(0);
    const py::ssize_t width = a.shape(1);
    if (height == 0 || width == 0)
        throw ArgumentError(std::string(what) + ": an array of shape " + ShapeText(a) + " holds no pixels");
    if (height > kMaxSide || width > kMaxSide)
        throw ArgumentError(std::string(what) + ": " + std::to_string(width) + " x " + std::to_string(height) +
                            " pixels is beyond the size limits");
    const auto* data = static_cast<const std::uint8_t*>(a.data());
    // The blue byte of RGB(A) pixels, as the method reads a colour picture.
    if (colour) data += 2 * a.strides(2);
    picture.channels = colour ? static_cast<int>(a.shape(2)) : 1;
    picture.view = GrayView(data, static_cast<int>(width), static_cast<int>(height), a.strides(0), a.strides(1));
    CheckView(picture.view, what);
    if (colour) {
        const auto* base = static_cast<const std::uint8_t*>(a.data());
        const auto channel = [&](int c) {
            return GrayView(base + c * a.strides(2), static_cast<int>(width), static_cast<int>(height), a.strides(0),
                            a.strides(1));
        };
        picture.picture = ImageView(channel(0), channel(1), channel(2));
    } else {
        picture.picture = ImageView(picture.view);
    }
    return picture;
}

py::array ArrayOf(std::vector<std::uint8_t> pixels, int width, int height) {
    auto* owned = new std::vector<std::uint8_t>(std::move(pixels));
    py::capsule release(owned, [](void* p) { delete static_cast<std::vector<std::uint8_t>*>(p); });
    return py::array_t<std::uint8_t>({static_cast<py::ssize_t>(height), static_cast<py::ssize_t>(width)},
                                     owned->data(), release);
}

py::array ArrayOf(GrayPlane plane) {
    const int width = plane.width();
    const int height = plane.height();
    return ArrayOf(plane.ReleasePixels(), width, height);
}

py::array ArrayOf(const Bitmap& picture, bool gray) {
    const int width = picture.width();
    const int height = picture.height();
    bool allGray = true;
    for (int y = 0; y < height && allGray; ++y) {
        const std::uint8_t* row = picture.row(y);
        for (int x = 0; x < width; ++x)
            if (row[3 * x] != row[3 * x + 1] || row[3 * x] != row[3 * x + 2]) {
                allGray = false;
                break;
            }
    }
    if (gray || allGray) {
        std::vector<std::uint8_t> blue(static_cast<std::size_t>(width) * height);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) blue[static_cast<std::size_t>(y) * width + x] = picture.blue(x, y);
        return ArrayOf(std::move(blue), width, height);
    }
    py::array_t<std::uint8_t> rgb({static_cast<py::ssize_t>(height), static_cast<py::ssize_t>(width), py::ssize_t{3}});
    auto out = rgb.mutable_unchecked<3>();
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = picture.row(y);
        for (int x = 0; x < width; ++x) {
            out(y, x, 0) = row[3 * x + 2];
            out(y, x, 1) = row[3 * x + 1];
            out(y, x, 2) = row[3 * x];
        }
    }
    return rgb;
}

py::array ArrayLike(const Bitmap& picture, const Picture& caller) {
    const int width = picture.width();
    const int height = picture.height();
    if (caller.channels == 1 || width != caller.view.width || height != caller.view.height)
        return ArrayOf(picture, caller.channels == 1);
    const py::ssize_t channels = caller.channels;
    py::array_t<std::uint8_t> out({static_cast<py::ssize_t>(height), static_cast<py::ssize_t>(width), channels});
    auto pixels = out.mutable_unchecked<3>();
    const auto* given = static_cast<const std::uint8_t*>(caller.array.data());
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = picture.row(y);
        for (int x = 0; x < width; ++x) {
            pixels(y, x, 0) = row[3 * x + 2];
            pixels(y, x, 1) = row[3 * x + 1];
            pixels(y, x, 2) = row[3 * x];
            if (channels == 4)
                pixels(y, x, 3) = given[y * caller.array.strides(0) + x * caller.array.strides(1) + 3 * caller.array.strides(2)];
        }
    }
    return out;
}

Bitmap BitmapOf(const Picture& picture) {
    const GrayView& v = picture.view;
    Bitmap bitmap(v.width, v.height);
    if (picture.channels == 1) {
        for (int y = 0; y < v.height; ++y)
            for (int x = 0; x < v.width; ++x) bitmap.setGray(x, y, v.at(x, y));
        return bitmap;
    }
    // The red and green bytes sit two and one channels before the blue one.
    const std::ptrdiff_t channel = picture.array.strides(2);
    for (int y = 0; y < v.height; ++y)
        for (int x = 0; x < v.width; ++x) {
            const std::uint8_t* blue = v.data + y * v.rowStride + x * v.pixelStride;
            bitmap.setBgr(x, y, *blue, *(blue - channel), *(blue - 2 * channel));
        }
    return bitmap;
}

py::array LikeCaller(const Picture& caller, const Bitmap& marked) {
    if (caller.channels == 1) {
        std::vector<std::uint8_t> gray(static_cast<std::size_t>(marked.width()) * marked.height());
        for (int y = 0; y < marked.height(); ++y)
            for (int x = 0; x < marked.width(); ++x) gray[static_cast<std::size_t>(y) * marked.width() + x] = marked.blue(x, y);
        return ArrayOf(std::move(gray), marked.width(), marked.height());
    }
    py::array_t<std::uint8_t> copy(caller.array.attr("copy")());
    auto out = copy.mutable_unchecked<3>();
    for (int y = 0; y < marked.height(); ++y) {
        const std::uint8_t* row = marked.row(y);
        for (int x = 0; x < marked.width(); ++x) {
            out(y, x, 0) = row[3 * x + 2];
            out(y, x, 1) = row[3 * x + 1];
            out(y, x, 2) = row[3 * x];
        }
    }
    return copy;
}

}  // namespace quillfen::python
