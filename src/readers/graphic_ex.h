// The base of every extended reader: a toolkit bitmap with a colour manager and an image
// information record, and the load protocol they share (header check, colour set-up, rows
// through the colour manager, progress notifications).
#pragma once

#include <memory>
#include <string>

#include "readers/colour/color_manager.h"
#include "readers/image_info.h"
#include "readers/limits.h"
#include "toolkit/bitmap.h"
#include "toolkit/stream.h"

namespace quorvel::readers {

// Messages of the reader family ("%s" filled as each states).
inline constexpr const char* gesStreamReadError = "Stream read error in %s file.";
inline constexpr const char* gesNotSupported = "Cannot load image. %s not supported for %s files.";
inline constexpr const char* gesCRCError = "Cannot load image. CRC error found in %s file.";
inline constexpr const char* gesCompression =
    "Cannot load image. Compression error found in %s file.";
inline constexpr const char* gesExtraCompressedData =
    "Cannot load image. Extra compressed data found in %s file.";
inline constexpr const char* gesInvalidPalette =
    "Cannot load image. Palette in %s file is invalid.";
inline constexpr const char* gesUnknownCriticalChunk =
    "Cannot load PNG image. Unexpected but critical chunk detected.";
inline constexpr const char* gesInvalidImage =
    "Cannot load image. Invalid or unexpected %s image format.";
inline constexpr const char* gesInvalidColorFormat = "Invalid color format in %s file.";
inline constexpr const char* gesCompressionScheme = "The compression scheme is";

// Status texts of the progress notifications.
inline constexpr const char* gesPreparing = "Preparing...";
inline constexpr const char* gesLoadingData = "Loading data...";
inline constexpr const char* gesUpsampling = "Upsampling...";
inline constexpr const char* gesTransfering = "Transfering...";

class TGraphicExGraphic : public toolkit::Bitmap {
public:
    TGraphicExGraphic();

    // Whether the named file holds this format (reads it whole; the position question is
    // answered by can_load_stream).
    bool can_load_file(const std::string& file_name);
    // Whether the stream, from its position, holds this format: whether read_image_info takes
    // its header (a header too short to read answers false). The position is restored.
    virtual bool can_load_stream(toolkit::Stream& stream);
    // Fills the information record from the header at the stream's position; false when the
    // header is not of this format. The base clears the record (gamma 1.0).
    virtual bool read_image_info(toolkit::Stream& stream, int image_index);

    ReaderImageInfo& image_info() { return image_info_; }
    const ReaderImageInfo& image_info() const { return image_info_; }
    TColorManager& color_manager() { return color_manager_; }

    // Runs load_image; on any failure the bitmap gives up what it already held, so that a
    // failed load leaves no image.
    void LoadFromStream(toolkit::Stream& stream) final;

protected:
    // Decodes the image at the stream's position into the bitmap.
    virtual void load_image(toolkit::Stream& stream) = 0;
    // Steps shared by every LoadFromStream: drop the image, remember the base position, check
    // the header (throwing the invalid-image message with `format_name`) and go back to the
    // base position, which is returned.
    size_t begin_load(toolkit::Stream& stream, const char* format_name, int image_index = 0);
    // Sets format, size and (for indexed and gray targets) palette from the colour manager,
    // after checking the size against the limits and, by the plausibility rule of the limits
    // record, against `max_pixels_in_file` (what the file could describe at most; 0 for no
    // such bound). Throws EInvalidGraphic.
    void prepare_bitmap(int width, int height, uint64_t max_pixels_in_file);
    // The size message of prepare_bitmap, for a reader that finds a claim implausible itself.
    [[noreturn]] void refuse_size(int width, int height) const;

    void progress_start(const char* text) const;
    // One notification per row: percent = row * 100 / height.
    void progress_row(int row, int height) const;
    void progress_end() const;

    // Throws the family's invalid-graphic exception with a message and its "%s" filling.
    [[noreturn]] static void fail(const char* message, const std::string& fill);
    [[noreturn]] static void fail(const char* message, const std::string& first,
                                  const std::string& second);

    const ReaderLimits& limits() const { return limits_; }

private:
    ReaderImageInfo image_info_;
    TColorManager color_manager_;
    const ReaderLimits limits_;
    mutable std::string stage_text_;
};

// The declaration shared by every reader that only parses its header and decodes its image:
// `Tag` names the format, and its .cpp defines the two member specialisations.
template <typename Tag>
class TFormatGraphic : public TGraphicExGraphic {
public:
    bool read_image_info(toolkit::Stream& stream, int image_index) override;

private:
    void load_image(toolkit::Stream& stream) override;
};

// The registry's class entry for a reader type.
template <typename Reader>
const toolkit::GraphicClass& reader_class(const char* name) {
    static const toolkit::GraphicClass c{
        name, []() -> std::unique_ptr<toolkit::Graphic> { return std::make_unique<Reader>(); }};
    return c;
}

}  // namespace quorvel::readers
