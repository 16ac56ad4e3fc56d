#include "image/jpeg_file.h"

// jpeglib.h needs FILE and size_t declared first.
#include <cstddef>
#include <cstdio>

#include <jerror.h>
#include <jpeglib.h>

#include <cerrno>
#include <csetjmp>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "image/image_size.h"

// libjpeg reports errors by calling error_exit, which must not return; here it longjmps. Every libjpeg call
// below runs inside jpeg_step(), whose setjmp is the only place a jump lands; between the two there are only
// libjpeg's frames and the callbacks here, none of which holds an object with a destructor.

namespace {

constexpr std::size_t kInputBufferBytes = 64 * 1024;

// A progressive file is decoded whole in the library's coefficient buffers (about 6 bytes a pixel with full
// colour resolution); beyond this the library refuses rather than allocate.
constexpr long kMostLibraryMemory = 1L << 30;

// Real progressive files have about ten scans; a damaged or hostile one can have thousands of tiny ones, each
// costing a pass over every block.
constexpr int kMostScans = 1000;

const std::string kCmykRefusal = "CMYK JPEG images are not supported; convert it to RGB first";

// Everything one decoding needs, in one plain block: the library's structs, the callbacks' findings and the
// input buffer.
struct JpegReadState {
    jpeg_decompress_struct decoder;
    jpeg_error_mgr errors;
    jpeg_source_mgr source;
    jpeg_progress_mgr progress;
    std::jmp_buf jump;
    const ImageInput* input;
    std::int64_t position;
    bool read_failed;  // the input could not be read: errno in read_error
    int read_error;
    bool ended;  // the file ended before the library had what it needed
    bool too_many_scans;
    char message[JMSG_LENGTH_MAX];
    std::uint8_t buffer[kInputBufferBytes];
};

JpegReadState& state_of(j_common_ptr common) { return *static_cast<JpegReadState*>(common->client_data); }

JpegReadState& state_of(j_decompress_ptr decoder) { return *static_cast<JpegReadState*>(decoder->client_data); }

void stop_decoding(j_common_ptr common) {
    JpegReadState& state = state_of(common);
    (*common->err->format_message)(common, state.message);
    std::longjmp(state.jump, 1);
}

// The library goes on after a warning, filling in what it could not read (grey for data that is missing, wrong
// blocks after a corrupt stretch). Every warning but two says pixels are lost, so it ends decoding as an error
// does; the two concern only metadata this reader does not use.
void on_message(j_common_ptr common, int level) {
    if (level >= 0) {
        return;  // trace messages
    }
    const int code = common->err->msg_code;
    if (code == JWRN_JFIF_MAJOR || code == JWRN_BOGUS_ICC) {
        ++common->err->num_warnings;
        return;
    }
    stop_decoding(common);
}

void print_nothing(j_common_ptr) {}

void start_input(j_decompress_ptr) {}

boolean fill_input(j_decompress_ptr decoder) {
    JpegReadState& state = state_of(decoder);
    const std::int64_t got = state.input->read_some(state.position, state.buffer, sizeof state.buffer);
    if (got < 0) {
        state.read_failed = true;
        state.read_error = errno;
        std::longjmp(state.jump, 1);
    }
    if (got == 0) {
        // The library's own sources would insert an end marker here and go on with grey pixels.
        state.ended = true;
        std::longjmp(state.jump, 1);
    }
    state.position += got;
    decoder->src->next_input_byte = state.buffer;
    decoder->src->bytes_in_buffer = static_cast<std::size_t>(got);
    return TRUE;
}

void skip_input(j_decompress_ptr decoder, long count) {
    jpeg_source_mgr& source = *decoder->src;
    if (count <= 0) {
        return;
    }
    const auto bytes = static_cast<std::size_t>(count);
    if (bytes <= source.bytes_in_buffer) {
        source.next_input_byte += bytes;
        source.bytes_in_buffer -= bytes;
        return;
    }
    // Past the end of the file the next fill_input finds nothing and stops.
    state_of(decoder).position += static_cast<std::int64_t>(bytes - source.bytes_in_buffer);
    source.bytes_in_buffer = 0;
}

void finish_input(j_decompress_ptr) {}

void watch_scans(j_common_ptr common) {
    const auto* decoder = reinterpret_cast<j_decompress_ptr>(common);
    if (decoder->input_scan_number > kMostScans) {
        JpegReadState& state = state_of(common);
        state.too_many_scans = true;
        std::longjmp(state.jump, 1);
    }
}

// Runs `step` (libjpeg calls); returns false if the library stopped with an error, which jumps back here.
template <typename Step>
bool jpeg_step(JpegReadState& state, const Step& step) {
    if (setjmp(state.jump) != 0) {
        return false;
    }
    step();
    return true;
}

// "Bad Huffman code" -> "bad Huffman code"; "JPEG datastream ..." stays.
std::string sentence_part(std::string_view text) {
    std::string part(text);
    if (part.size() > 1 && part[0] >= 'A' && part[0] <= 'Z' && part[1] >= 'a' && part[1] <= 'z') {
        part[0] = static_cast<char>(part[0] - 'A' + 'a');
    }
    return part;
}

// Our wording for libjpeg's messages.
std::string jpeg_reason(const JpegReadState& state) {
    if (state.read_failed) {
        return read_failure_reason(state.read_error);
    }
    if (state.ended) {
        return "the file ends early (JPEG data cut short)";
    }
    if (state.too_many_scans) {
        return "the JPEG file has more than " + std::to_string(kMostScans) + " scans";
    }
    const std::string_view message = state.message;
    switch (state.errors.msg_code) {
    case JERR_EMPTY_IMAGE:
        return "the JPEG header gives the image no pixels (a width or height of 0)";
    case JERR_IMAGE_TOO_BIG:
        return "the image is too large: this JPEG decoder takes at most " +
               std::to_string(JPEG_MAX_DIMENSION) + " pixels a side";
    case JERR_OUT_OF_MEMORY:
    case JERR_NO_BACKING_STORE:
        return "not enough memory to decode this JPEG file (it would need more than " +
               std::to_string(kMostLibraryMemory) + " bytes of working memory)";
    case JERR_NO_SOI:
        return "not a JPEG file (" + sentence_part(message) + ")";
    default:
        break;
    }
    constexpr std::string_view kCorrupt = "Corrupt JPEG data: ";
    if (message.starts_with(kCorrupt)) {
        return "damaged JPEG data: " + std::string(message.substr(kCorrupt.size()));
    }
    constexpr std::string_view kUnsupported = "Unsupported ";
    if (message.starts_with(kUnsupported)) {
        return "unsupported JPEG file: " + sentence_part(message);
    }
    return "damaged JPEG file: " + sentence_part(message);
}

// Destroys the decoder however reading ends (safe also when it was never fully created).
class DecoderCleanup {
public:
    explicit DecoderCleanup(jpeg_decompress_struct& decoder) : decoder_(decoder) {}
    ~DecoderCleanup() { jpeg_destroy_decompress(&decoder_); }
    DecoderCleanup(const DecoderCleanup&) = delete;
    DecoderCleanup& operator=(const DecoderCleanup&) = delete;

private:
    jpeg_decompress_struct& decoder_;
};

}  // namespace

bool read_jpeg(const ImageInput& input, Image& image, std::string& why, const ImageSizeCheck& accept_size) {
    std::unique_ptr<JpegReadState> owned(new (std::nothrow) JpegReadState{});
    if (owned == nullptr) {
        why = "not enough memory to read a JPEG file";
        return false;
    }
    JpegReadState& state = *owned;
    state.input = &input;
    jpeg_decompress_struct& decoder = state.decoder;
    decoder.err = jpeg_std_error(&state.errors);
    state.errors.error_exit = stop_decoding;
    state.errors.emit_message = on_message;
    state.errors.output_message = print_nothing;
    decoder.client_data = &state;
    const DecoderCleanup cleanup(decoder);

    const bool header_read = jpeg_step(state, [&] {
        jpeg_create_decompress(&decoder);
        decoder.mem->max_memory_to_use = kMostLibraryMemory;
        state.source.init_source = start_input;
        state.source.fill_input_buffer = fill_input;
        state.source.skip_input_data = skip_input;
        state.source.resync_to_restart = jpeg_resync_to_restart;
        state.source.term_source = finish_input;
        decoder.src = &state.source;
        state.progress.progress_monitor = watch_scans;
        decoder.progress = &state.progress;
        jpeg_read_header(&decoder, TRUE);
    });
    if (!header_read) {
        why = jpeg_reason(state);
        return false;
    }
    switch (decoder.jpeg_color_space) {
    case JCS_GRAYSCALE:
    case JCS_YCbCr:
    case JCS_RGB:
        break;
    case JCS_CMYK:
    case JCS_YCCK:
        why = kCmykRefusal;
        return false;
    default:
        why = "unsupported JPEG file: its colour space is not known (" + std::to_string(decoder.num_components) +
              " components)";
        return false;
    }
    why = check_image_size(decoder.image_width, decoder.image_height, 3);
    if (why.empty() && accept_size) {
        why = accept_size(static_cast<int>(decoder.image_width), static_cast<int>(decoder.image_height));
    }
    if (!why.empty()) {
        return false;
    }

    // The library's defaults otherwise (accurate integer transform, smooth chroma upsampling): the pixels other
    // programs show for the file.
    decoder.out_color_space = JCS_RGB;
    if (!jpeg_step(state, [&] { jpeg_start_decompress(&decoder); })) {
        why = jpeg_reason(state);
        return false;
    }
    if (decoder.output_components != 3 || decoder.output_width != decoder.image_width ||
        decoder.output_height != decoder.image_height) {
        why = "cannot decode this JPEG file: it decodes to " + size_text(decoder.output_width, decoder.output_height) +
              " pixels of " + std::to_string(decoder.output_components) + " components";
        return false;
    }
    const std::size_t row_bytes = static_cast<std::size_t>(decoder.output_width) * 3;
    const std::size_t height = decoder.output_height;
    std::vector<std::uint8_t> pixels;
    try {
        pixels.reserve(row_bytes * height);
    } catch (const std::bad_alloc&) {
        why = "not enough memory for a " + size_text(decoder.output_width, decoder.output_height) + " image";
        return false;
    }
    // Row by row into reserved room, so that a file cut short uses little memory whatever size it claims.
    for (std::size_t y = 0; y < height; ++y) {
        pixels.resize(pixels.size() + row_bytes);
        JSAMPROW row = pixels.data() + y * row_bytes;
        JDIMENSION rows_read = 0;
        if (!jpeg_step(state, [&] { rows_read = jpeg_read_scanlines(&decoder, &row, 1); })) {
            why = jpeg_reason(state);
            return false;
        }
        if (rows_read != 1) {
            why = "cannot decode this JPEG file: row " + std::to_string(y) + " did not arrive";
            return false;
        }
    }
    // Reads on to the end marker, so that a file cut after its last row is refused too.
    if (!jpeg_step(state, [&] { jpeg_finish_decompress(&decoder); })) {
        why = jpeg_reason(state);
        return false;
    }
    image.width = static_cast<int>(decoder.output_width);
    image.height = static_cast<int>(decoder.output_height);
    image.channels = 3;
    image.pixels = std::move(pixels);
    return true;
}
