#include "python/docstrings.h"

#include <initializer_list>
#include <utility>

#include <texsynth/job.h>
#include <texsynth/settings.h>

#include "python/keyword_settings.h"

namespace {

// `text` with every "{name}" replaced by its value.
std::string fill_in(std::string text, std::initializer_list<std::pair<const char*, std::string>> values) {
    for (const auto& [name, value] : values) {
        const std::string placeholder = std::string("{") + name + "}";
        for (std::size_t at = text.find(placeholder); at != std::string::npos;
             at = text.find(placeholder, at + value.size())) {
            text.replace(at, placeholder.size(), value);
        }
    }
    return text;
}

std::string repr(const py::object& value) { return std::string(py::repr(value)); }

std::string number_text(double value) { return std::string(py::repr(py::float_(value))); }

// One setting of the help: "  name=default" in a column of its own, then its description.
std::string setting_help(const std::string& assignment, const std::string& description) {
    constexpr std::size_t kColumn = 21;
    std::string line = "  " + assignment;
    line += line.size() + 1 < kColumn ? std::string(kColumn - line.size(), ' ') : "\n" + std::string(kColumn, ' ');
    for (const char c : description) {
        line += c;
        if (c == '\n') {
            line += std::string(kColumn, ' ');
        }
    }
    return line + "\n";
}

std::string settings_help(const SynthesisArguments& defaults) {
    return setting_help("seed=" + repr(defaults.seed),
                        "start from different noise, for a different texture of the same kind\n"
                        "(0 to 4294967295; None: the noise texsynth has always used); a fill,\n"
                        "which reads no noise, takes other copies where they fit about as well (with\n"
                        "match='refined')") +
           setting_help("match=" + repr(defaults.match),
                        "'approximate': a neighbour at most 3 times as far as the nearest one, from a\n"
                        "kd-tree; 'exact': the nearest neighbour (ties: the first in exemplar order);\n"
                        "'coherent': the nearest among the exemplar pixels that continue where the\n"
                        "neighbours were copied from, their k most similar ones and the one under the\n"
                        "coarser level's pixel: much faster, and copies larger coherent pieces;\n"
                        "'refined': coherent copying, then passes that correct every pixel against the\n"
                        "whole square around it, with every exemplar pixel a candidate, and in a texture\n"
                        "the parts of the exemplar the coarse levels leave out grafted in and the seams\n"
                        "between copies moved to where the copies differ least") +
           setting_help("passes=" + repr(defaults.passes),
                        "passes over every level (1 to {max_passes}): each further pass matches every pixel\n"
                        "again against the pass before, all around, which mends the wrap-around seam\n"
                        "(fill, make_tileable and extend: {hole_passes})") +
           setting_help("levels=" + repr(defaults.levels),
                        "pyramid levels, 1 to {max_levels} (None or 0: as many as keep the exemplar's coarsest\n"
                        "level at least {texture_coarsest_side} pixels a side for a texture, {coarsest_side} "
                        "otherwise, fewer if the\n"
                        "size is too small for them; fill, make_tileable and extend: at most {hole_levels})") +
           setting_help("half_sizes=None",
                        "L x L neighbourhood half-sizes (0 to {max_half_size}), row-major as --half-sizes lists\n"
                        "them, or an L x L array: row N is used for level N; entry N, N is the half-size\n"
                        "of the causal neighbourhood at level N, entry N, V (V > N) that of the square\n"
                        "taken at the coarser level V; entries below the diagonal are not used but\n"
                        "must be present (None: 2 for the finest level's own causal part, "
                        "{texture_middle_half_size} for\n"
                        "each level's between it and the coarsest where a texture's levels are chosen, 2\n"
                        "otherwise, {coarsest_half_size} for the coarsest level's, 1 for each coarser level's "
                        "square)") +
           setting_help("k=" + repr(defaults.k), "similar candidates per source for match='coherent' (0 to {max_k})") +
           setting_help("threads=" + repr(defaults.threads),
                        "threads for the exact and coherent searches (1 to {max_threads}; None or 0: one\n"
                        "per processor core); the result is the same for any number") +
           setting_help("return_map=False", "also return the source map: a pair (result, source_map)");
}

// The texts with the defaults and limits.
std::string filled(const char* text) {
    const SynthesisArguments defaults = default_synthesis_arguments();
    const auto settings_with = [&defaults](const py::object& passes) {
        return "seed=" + repr(defaults.seed) + ", match=" + repr(defaults.match) + ", passes=" + repr(passes) +
               ", levels=" + repr(defaults.levels) + ", half_sizes=" + repr(defaults.half_sizes) +
               ", k=" + repr(defaults.k) + ", threads=" + repr(defaults.threads);
    };
    const std::string settings = settings_with(defaults.passes);
    const std::string hole_settings = settings_with(default_synthesis_arguments(true).passes);
    return fill_in(text, {{"settings_help", settings_help(defaults)},
                          {"settings", settings},
                          {"hole_settings", hole_settings},
                          {"hole_passes", repr(default_synthesis_arguments(true).passes)},
                          {"hole_levels", std::to_string(kMostChosenHoleLevels)},
                          {"max_levels", std::to_string(kMaxLevels)},
                          {"coarsest_side", std::to_string(kCoarsestExemplarSide)},
                          {"texture_coarsest_side", std::to_string(kTextureCoarsestExemplarSide)},
                          {"texture_middle_half_size", std::to_string(kTextureMiddleHalfSize)},
                          {"coarsest_half_size", std::to_string(kCoarsestHalfSize)},
                          {"chosen_levels", std::to_string(kMaxLevels)},
                          {"max_half_size", std::to_string(kMaxHalfSize)},
                          {"max_passes", std::to_string(kMaxPasses)},
                          {"max_k", std::to_string(kMaxSimilar)},
                          {"max_threads", std::to_string(kMaxThreads)},
                          {"max_exemplar_bytes", std::to_string(kMaxExemplarPyramidBytes)},
                          {"largest_exemplar", std::to_string(largest_square_exemplar(kMaxLevels))},
                          {"max_weight", number_text(kMaxMatchWeight)},
                          {"guide_weight", number_text(kDefaultGuideWeight)},
                          {"transfer_weight", number_text(kDefaultTransferWeight)}});
}

}  // namespace

std::string module_doc() {
    return filled(R"doc(Texture synthesis on NumPy arrays: what the texsynth command line does, as calls.

Synthesizes a texture from an exemplar image, one level of an image pyramid at a time, coarse to fine.
Every output pixel is a pixel of the exemplar whose neighbourhood best matches its own; reads wrap around,
so the result tiles. The same inputs (and seed) always give the same bytes, on any number of threads, and
the same bytes the command line writes with the same settings.

    import texsynth
    exemplar = texsynth.read_image("demo/demo2.bmp")         # a (128, 128, 3) uint8 array
    texture = texsynth.synthesize(exemplar, (512, 256), seed=1)
    texsynth.write_image("texture.png", texture)             # 512 x 256: shape (256, 512, 3)

Functions (arrays in, a new array out):
  synthesize(exemplar, size, ...)  a new texture of size (width, height)      texsynth --output=FILE INPUT
  transfer(style, target, ...)     a picture re-made in another's style       texsynth --transfer
  fill(image, mask, ...)           the pixels under a mask synthesized anew   texsynth --mask
  make_tileable(image, ...)        the edges synthesized anew, so it tiles    texsynth --make-tileable
  extend(image, border, ...)       the image grown by a synthesized border    texsynth --extend
  apply_map(image, source_map)     an image (or a list of them, one per exemplar) sampled through a source
                                   map                                        texsynth --apply-map
  read_image(path), write_image(path, array)          BMP, PNG and JPEG files, as the command line reads
                                                      and writes them
  read_source_map(path), write_source_map(path, map)  the 16-bit PNG files of --save-map and --apply-map
  decode_image(data), encode_image(array, format),    the same with the files' bytes in memory
  decode_source_map(data), encode_source_map(map)

Pictures are uint8 arrays, rows top to bottom: (height, width, 3) RGB or (height, width, 4) RGBA. Grey
pictures, (height, width), (height, width, 1) or (height, width, 2) with alpha, are worked on as R = G = B
and come back in their own layout. Alpha takes no part in matching; each copied pixel brings its alpha
along. Arrays of any strides are read correctly (views, negative strides, Fortran order, read-only arrays):
their pixels are copied into the library's buffers. Results are new C-contiguous arrays that own their
memory.

Settings (keyword arguments named as the command line's options, with the defaults of its finished-file
form --output=FILE INPUT):
{settings_help}
Limits: the exemplar's pyramid may take at most {max_exemplar_bytes} bytes (with {chosen_levels} levels a square exemplar up
to {largest_exemplar} x {largest_exemplar} pixels), and every level of it must be larger than twice the border its
neighbourhoods need; the output at most about 536 million pixels (W x H), every level of its pyramid at
least 1 x 1. A job outside them is refused before any work, with the reason.

Errors: TypeError (a value of the wrong kind) and ValueError (a refused value or job) carry the command
line's words; files that cannot be read or written raise OSError with "<path>: <why>", as the command line
prints it.

Threads and Ctrl-C: a call lets go of the GIL while it works, so calls on several threads run at the same
time (except with match='approximate', whose kd-tree search keeps global state: those calls take turns).
On the main thread, Ctrl-C stops a call within about a tenth of a second and raises KeyboardInterrupt.
)doc");
}

std::string synthesize_doc() {
    return filled(R"doc(synthesize(exemplar, size=None, *, sample_masks=None, guides=None, target_guide=None, guide_weight=None, match_also=None, {settings}, return_map=False)
--

A new texture of size (width, height) made of the exemplar's pixels, as
`texsynth --size=WxH --output=FILE INPUT` writes it (with the same settings, the same pixels).

exemplar: a (height, width, 3) RGB or (height, width, 4) RGBA uint8 array, or grey (see help(texsynth));
    or a list of such arrays, several exemplars synthesized together (texsynth --output=FILE EX1 EX2 ...): every
    pixel of each is a candidate, and the result remixes them.
size: (width, height), whole numbers of at least 1; None with a target guide: the target guide's size.
sample_masks: one bool or uint8 array per exemplar, of its height and width: non-zero where its pixels may
    be copied; no pixel of the result comes from elsewhere (--sample-mask).
guides, target_guide: one picture per exemplar of its size, labelling its regions (e.g. white where it
    shows gravel, black where grass), and the layout wanted, of the result's size (--guide,
    --target-guide). guide_weight: how much they count beside the colour, 0 to {max_weight}
    (None: {guide_weight}).
match_also: companion maps of the exemplar (height, normal, roughness: its size) matched together with the
    colour (--match-also): a list whose entries are each a map (a list of one map per exemplar with several
    exemplars) or a pair (map, weight), the weight 0 to {max_weight} (default 1). Applying the source map to the
    companions (apply_map) gives the companion textures.
seed, match, passes, levels, half_sizes, k, threads: see help(texsynth).

Returns a uint8 array of shape (height, width, channels) in the exemplar's layout. With return_map=True,
a pair (texture, source_map): source_map is a (height, width, 2) uint16 array holding, for each pixel, the
exemplar column x and row y it was copied from, so that
    texture[i, j] == exemplar[source_map[i, j, 1], source_map[i, j, 0]]
and apply_map(exemplar, source_map) gives the texture again; with several exemplars a (height, width, 3)
array whose third value says which exemplar (0 for the first). It holds what --save-map writes as a 16-bit
RGB PNG (red x, green y, blue the exemplar; write_source_map writes the same file).
)doc");
}

std::string transfer_doc() {
    return filled(R"doc(transfer(style, target, *, sample_masks=None, guide_weight=None, match_also=None, {settings}, return_map=False)
--

The picture `target` re-made of the pixels of `style`: the result has the target's size and follows its
light and dark (the guides are the two pictures' luminance, the style's mapped onto the target's range), and
every pixel is a pixel of the style: `texsynth --transfer=TARGET --output=FILE STYLE`.

style: the exemplar, an array as synthesize takes it (or a list of them).
target: a picture, (height, width, 3) or (height, width, 4) uint8, or grey.
guide_weight: how much the light and dark count beside the colour, 0 to {max_weight} (None: {transfer_weight}).
sample_masks, match_also, seed, match, passes, levels, half_sizes, k, threads, return_map: as for synthesize.
)doc");
}

std::string fill_doc() {
    return filled(R"doc(fill(image, mask, *, exemplar=None, sample_masks=None, {hole_settings}, return_map=False)
--

The image with the pixels under the mask synthesized anew, from the rest of the image or, with an
exemplar, from the exemplar: the command line's --mask.

image: a (height, width, 3) or (height, width, 4) uint8 array, or grey (see help(texsynth)).
mask: a bool or uint8 array of the image's height and width, (height, width) or (height, width, 1);
    non-zero marks a pixel to replace.
exemplar: where the new pixels come from (None: the image itself, outside the mask).
sample_masks: a mask (or a list of one) of the size of the picture the new pixels come from, non-zero where
    its pixels may be copied: the command line's --sample-mask (None: every pixel may).
seed, match, passes, levels, half_sizes, k, threads: see help(texsynth).

Returns a new array in the image's layout. With return_map=True, a pair (result, source_map): the
(height, width, 2) uint16 array of the column x and row y each pixel was copied from (kept pixels point
at themselves), what --save-map writes as a 16-bit RGB PNG (red x, green y, blue 0).
)doc");
}

std::string make_tileable_doc() {
    return filled(R"doc(make_tileable(image, *, band=None, sample_masks=None, {hole_settings}, return_map=False)
--

The image with a band along its edges synthesized anew from the rest of it, so that it tiles without a
visible seam: the command line's --make-tileable.

image: a (height, width, 3) or (height, width, 4) uint8 array, or grey (see help(texsynth)).
band: the width in pixels of the band that is synthesized anew (None: the command line's default).
sample_masks: a mask (or a list of one) of the image's size, non-zero where its pixels may be copied: the
    command line's --sample-mask (None: every pixel may).
seed, match, passes, levels, half_sizes, k, threads: see help(texsynth).

Returns a new array of the image's size and layout. With return_map=True, a pair (result, source_map):
the (height, width, 2) uint16 array of the column x and row y each pixel was copied from (kept pixels
point at themselves), what --save-map writes as a 16-bit RGB PNG (red x, green y, blue 0).
)doc");
}

std::string extend_doc() {
    return filled(R"doc(extend(image, border, *, exemplar=None, {hole_settings}, return_map=False)
--

The image grown by a border synthesized from strips of it along its edges or, with an exemplar, from the
exemplar, so that the image goes on without a visible join: the command line's --extend. The image's own
pixels stay as they are.

image: a (height, width, 3) or (height, width, 4) uint8 array, or grey (see help(texsynth)).
border: how many pixels each side grows by: a whole number for every side, or (left, top, right, bottom);
    each side at most the image's width (left, right) or height (top, bottom).
exemplar: where the new pixels come from (None: the image itself).
seed, match, passes, levels, half_sizes, k, threads: see help(texsynth).

Returns a new array of height top + height + bottom and width left + width + right in the image's layout,
the image at rows top.. and columns left... With return_map=True, a pair (result, source_map): the uint16
array of the column x and row y of the image (or exemplar) each pixel was copied from (the image's own
pixels point at themselves), what --save-map writes as a 16-bit RGB PNG (red x, green y, blue 0).
)doc");
}

std::string apply_map_doc() {
    return R"doc(apply_map(image, source_map)
--

The image sampled through a source map, as `texsynth --apply-map=MAP.png --output=FILE INPUT` does:
pixel (i, j) of the result is image[source_map[i, j, 1], source_map[i, j, 0]]. Apply the map of a
texture made from a colour exemplar to a picture of the same size, such as its normal or height map, and
that picture comes out arranged as the texture.

image: a (height, width, 3) or (height, width, 4) uint8 array, or grey (see help(texsynth)); for the map of
    several exemplars, a list of pictures, one per exemplar in their order.
source_map: a (height, width, 2) uint16 array of x and y, as synthesize(..., return_map=True) returns it
    or read_source_map reads a --save-map file (red x, green y), or (height, width, 3) with the exemplar.

Returns a uint8 array of the map's height and width in the image's layout. A map that reaches outside the
image raises ValueError naming its first such pixel.
)doc";
}

std::string read_image_doc() {
    return R"doc(read_image(path)
--

Reads a BMP, PNG or JPEG file, recognised by its content, as the command line reads an exemplar.

Returns a (height, width, 3) RGB or, for a file with transparency, (height, width, 4) RGBA uint8 array;
grey files come back as RGB. A file that cannot be read raises OSError with "<path>: <why>", the line
the command line prints (e.g. "x.gif: not a BMP, PNG or JPEG file (it is a GIF image)").
)doc";
}

std::string write_image_doc() {
    return R"doc(write_image(path, array)
--

Writes a picture by the file name's extension, as the command line writes its output: .png (8-bit RGB or
RGBA) or .bmp (24-bit RGB; no alpha). Grey arrays are written as RGB. The file appears only when it is
complete; a failure leaves any earlier file under the name as it was. Raises OSError with "<path>: <why>".
)doc";
}

std::string read_source_map_doc() {
    return R"doc(read_source_map(path)
--

Reads a source map written by --save-map (or write_source_map): a 16-bit RGB PNG whose red holds each
pixel's exemplar column x, green its row y, blue which exemplar (0 for the first, or only, one). Returns a
(height, width, 2) uint16 array of x and y, or (height, width, 3) with the exemplar where any blue is not 0,
for apply_map. Anything else raises OSError with "<path>: <why>".
)doc";
}

std::string write_source_map_doc() {
    return R"doc(write_source_map(path, source_map)
--

Writes a (height, width, 2) uint16 array of x and y (or (height, width, 3) with the exemplar) as --save-map
does: a 16-bit RGB PNG of red x, green y and blue the exemplar (or 0), which `texsynth --apply-map` reads.
Raises OSError with "<path>: <why>".
)doc";
}
