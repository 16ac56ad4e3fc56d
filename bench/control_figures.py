"""Figures of what is made where, from a run's pictures and source map (through the texsynth module):

  guided EXEMPLAR GUIDE TARGET OUTPUT MAP   share of pixels from the region the target guide asks for, and the
                                            coherence inside each region
  transfer TARGET OUTPUT                    correlation of the result's luminance with the target's
  seams EXEMPLAR_MAP MAP                    step across the seams in a companion map
Each prints one line of name=value pairs.
"""
import sys

import numpy as np

import texsynth


def grey(array):
    array = array.astype(np.float64)
    return array if array.ndim == 2 else array[..., :3].mean(axis=2)


def luminance(array):
    array = array.astype(np.float64)
    if array.ndim == 2:
        return array
    return 0.299 * array[..., 0] + 0.587 * array[..., 1] + 0.114 * array[..., 2]


def patches(picture, ys, xs):
    """The 5 x 5 RGB patches around the given pixels, as rows of 75 values."""
    out = np.empty((len(ys), 75), np.float32)
    k = 0
    for dy in range(-2, 3):
        for dx in range(-2, 3):
            out[:, k:k + 3] = picture[ys + dy, xs + dx, :3]
            k += 3
    return out


def inside(labels, value):
    """Pixels whose whole 5 x 5 patch has the label `value`."""
    h, w = labels.shape
    same = labels == value
    whole = np.ones((h - 4, w - 4), bool)
    for dy in range(5):
        for dx in range(5):
            whole &= same[dy:dy + h - 4, dx:dx + w - 4]
    out = np.zeros_like(same)
    out[2:h - 2, 2:w - 2] = whole
    return out


def region_coherence(exemplar, guide, output, labels, samples=3000):
    """Per region: for output pixels whose patch lies in the region (by their sources' labels), the RMS per
    component to the nearest exemplar patch lying in the same region (sampled, exact search)."""
    random = np.random.default_rng(1)
    figures = []
    for value in (False, True):
        ey, ex = np.nonzero(inside(guide, value))
        candidates = patches(exemplar, ey, ex)
        norms = (candidates * candidates).sum(axis=1)
        oy, ox = np.nonzero(inside(labels, value))
        if len(oy) == 0:
            figures.append(float("nan"))
            continue
        pick = random.choice(len(oy), min(samples, len(oy)), replace=False)
        queries = patches(output, oy[pick], ox[pick])
        best = np.empty(len(queries), np.float32)
        for start in range(0, len(queries), 500):
            q = queries[start:start + 500]
            d = (q * q).sum(axis=1)[:, None] + norms[None, :] - 2 * q @ candidates.T
            best[start:start + 500] = d.min(axis=1)
        figures.append(float(np.sqrt(np.maximum(best, 0) / 75).mean()))
    return figures


def guided(exemplar_path, guide_path, target_path, output_path, map_path):
    exemplar = texsynth.read_image(exemplar_path).astype(np.float32)
    guide = grey(texsynth.read_image(guide_path)) >= 128
    target = grey(texsynth.read_image(target_path)) >= 128
    output = texsynth.read_image(output_path).astype(np.float32)
    source = texsynth.read_source_map(map_path).astype(np.int64)
    labels = guide[source[..., 1], source[..., 0]]
    black, white = region_coherence(exemplar, guide, output, labels)
    print(f"agreement={(labels == target).mean():.4f} coherence_black={black:.3f} coherence_white={white:.3f}")


def transfer(target_path, output_path):
    target = luminance(texsynth.read_image(target_path))
    output = luminance(texsynth.read_image(output_path))

    def blurred(a, r=2):
        kernel = np.ones(2 * r + 1) / (2 * r + 1)
        a = np.apply_along_axis(lambda v: np.convolve(v, kernel, "same"), 0, a)
        return np.apply_along_axis(lambda v: np.convolve(v, kernel, "same"), 1, a)

    plain = np.corrcoef(target.ravel(), output.ravel())[0, 1]
    smooth = np.corrcoef(blurred(target).ravel(), blurred(output).ravel())[0, 1]
    print(f"correlation={plain:.3f} correlation_5x5={smooth:.3f}")


def seams(exemplar_map_path, map_path):
    """Pairs of neighbouring output pixels whose sources are not neighbours: their mean absolute step in the
    companion map, over the mean step between neighbouring pixels of the exemplar's map."""
    companion = grey(texsynth.read_image(exemplar_map_path))
    source = texsynth.read_source_map(map_path).astype(np.int64)
    sx, sy = source[..., 0], source[..., 1]
    out = companion[sy, sx]
    steps = [np.abs(out[:, 1:] - out[:, :-1])[~((sx[:, 1:] == sx[:, :-1] + 1) & (sy[:, 1:] == sy[:, :-1]))],
             np.abs(out[1:, :] - out[:-1, :])[~((sy[1:, :] == sy[:-1, :] + 1) & (sx[1:, :] == sx[:-1, :]))]]
    reference = np.concatenate([np.abs(np.diff(companion, axis=0)).ravel(),
                                np.abs(np.diff(companion, axis=1)).ravel()]).mean()
    step = np.concatenate(steps)
    print(f"seam_step={step.mean() / reference:.3f} seam_pairs={len(step)}")


if __name__ == "__main__":
    {"guided": guided, "transfer": transfer, "seams": seams}[sys.argv[1]](*sys.argv[2:])
