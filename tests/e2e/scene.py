"""The picture testscene.exe paints, and readers of recorded movies that check it.

The scene covers the virtual screen. Everything here is in screen coordinates; a recorded frame
that shows the screen from (region_x, region_y) has its pixel (0, 0) there.

Background: 32x32 blocks; block column bx = x // 32, row by = y // 32 has colour
(8 * (bx % 32), 8 * (by % 32), 0x80). Every channel is a multiple of 8, which five bits keep, so
a 16-bit screen shows the same blocks; blue 0x80 keeps every background colour away from pure
black and white, which only the code blocks use.

Code blocks: 40x40 pixels, top-left corners at (12 + 64 i, 12 + 64 j), so any region of at
least 103x103 pixels holds a complete one. Each is 5x5 cells of 8x8 pixels, white = 1, black =
0. Row 0 is the guard: black, white, black, white, black. Rows 1-4 hold in column 0 a check
nibble (most significant bit in row 1) and in columns 1-4 the counter's Gray code, most
significant bit first (bit 15 in row 1 column 1, bit 0 in row 4 column 4). The check is the xor
of the Gray code's four nibbles and 0x5. The counter is the time since the scene's window
appeared times the rate (--rate, default 50 steps a second), modulo 65536; all blocks show the
same value.

Frames are (width, height, bytes) with 3 bytes per pixel, red first, rows top to bottom.
"""

import json
import subprocess

BLOCK = 32
LEVELS = 32
STEP = 8
BLUE = 0x80

CELL = 8
CELLS = 5
CODE_SIZE = CELL * CELLS
CODE_PITCH = 64
CODE_OFFSET = 12
CHECK_SALT = 0x5
GUARD = (0, 1, 0, 1, 0)
COUNTER_MODULO = 1 << 16
DEFAULT_RATE = 50

# A region at least this large in both directions holds a complete code block wherever it is.
MIN_READABLE = CODE_PITCH + CODE_SIZE - 1


def expected_colour(x, y, depth=24):
    """The background colour the scene paints at screen pixel (x, y).

    The same for every depth: what a screen of that depth makes of it is colour_close's part."""
    del depth
    return ((x // BLOCK) % LEVELS * STEP, (y // BLOCK) % LEVELS * STEP, BLUE)


# The 20 colours an 8-bit Windows screen always has; a program that paints without a palette of
# its own gets one of these for every colour.
STATIC_COLOURS = (
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
    (192, 192, 192), (192, 220, 192), (166, 202, 240), (255, 251, 240), (160, 160, 164),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255), (255, 0, 255),
    (0, 255, 255), (255, 255, 255))


def _nearest_static(colour, count):
    return sorted(STATIC_COLOURS, key=lambda s: sum((a - b) ** 2 for a, b in zip(s, colour)))[:count]


def colour_close(seen, wanted, depth=24):
    """Whether a recorded colour is what a screen of the given depth shows for the colour the
    scene painted (wanted, as expected_colour gives it).

    24 (or 32) bits: each channel within 3, closer than to any neighbouring block (8 apart).
    16 bits: equal in the top five bits of each channel, which is all a 16-bit screen keeps
    (red and blue have five bits, green five or six, and the low bits come back as anything).
    8 bits: one of the two static colours nearest to wanted (Wine does not always take the
    nearest), each channel within 8; a rough check, neighbouring blocks often look the same.
    """
    if depth == 16:
        return all((p >> 3) == (q >> 3) for p, q in zip(seen, wanted))
    if depth <= 8:
        return any(all(abs(p - q) <= 8 for p, q in zip(seen, s))
                   for s in _nearest_static(wanted, 2))
    return all(abs(p - q) <= 3 for p, q in zip(seen, wanted))


def in_code_block(x, y, margin=0):
    """Whether screen pixel (x, y) lies in a code block, or within margin pixels of one."""
    def inside(v):
        return (v - CODE_OFFSET + margin) % CODE_PITCH < CODE_SIZE + 2 * margin
    return inside(x) and inside(y)


def code_blocks(region_x, region_y, width, height):
    """Screen positions (x, y) of the code blocks wholly inside the region, top row first."""
    def starts(origin, size):
        first = origin + (CODE_OFFSET - origin) % CODE_PITCH
        return range(first, origin + size - CODE_SIZE + 1, CODE_PITCH)
    return [(x, y) for y in starts(region_y, height) for x in starts(region_x, width)]


def encode_cells(counter):
    """The 5x5 cells (rows of 0/1, 1 = white) of the code block for counter."""
    gray = (counter ^ (counter >> 1)) & 0xFFFF
    check = (gray ^ (gray >> 4) ^ (gray >> 8) ^ (gray >> 12) ^ CHECK_SALT) & 0xF
    rows = [list(GUARD)]
    for r in range(4):
        nibble = (gray >> (12 - 4 * r)) & 0xF
        rows.append([(check >> (3 - r)) & 1] + [(nibble >> (3 - c)) & 1 for c in range(4)])
    return rows


def decode_cells(cells):
    """The counter a 5x5 cell grid shows, or None when its guard or check is wrong."""
    if tuple(cells[0]) != GUARD:
        return None
    gray = 0
    check = 0
    for row in cells[1:]:
        check = (check << 1) | row[0]
        for bit in row[1:]:
            gray = (gray << 1) | bit
    if (gray ^ (gray >> 4) ^ (gray >> 8) ^ (gray >> 12) ^ CHECK_SALT) & 0xF != check:
        return None
    value = gray
    shift = gray >> 1
    while shift:
        value ^= shift
        shift >>= 1
    return value


# Movies


def probe(path):
    """ffprobe's account of a file: {"streams": [...], "format": {...}}; each stream has
    codec_name, width, height, r_frame_rate, nb_frames, duration, pix_fmt where they apply."""
    out = subprocess.run(["ffprobe", "-v", "error", "-show_streams", "-show_format",
                          "-of", "json", str(path)],
                         check=True, capture_output=True, timeout=60).stdout
    return json.loads(out)


def video_stream(info):
    """The first video stream of a probe() result."""
    return next(s for s in info["streams"] if s.get("codec_type") == "video")


def video_packet_sizes(path):
    """The size of every video chunk of a movie in stream order, as ffprobe reads the index;
    0 for a position the recorder left empty (a player shows the frame before)."""
    out = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                          "packet=size", "-of", "csv=p=0", str(path)],
                         check=True, capture_output=True, timeout=120).stdout
    return [int(line) for line in out.decode().split() if line.strip().isdigit()]


def frame_rate(stream):
    """A video stream's frames a second, from its r_frame_rate fraction."""
    num, den = stream["r_frame_rate"].split("/")
    return int(num) / int(den)


def decode_frames(path, every=1, max_frames=None, select=None):
    """Decoded video frames of a movie as (width, height, rgb24 bytes), in order: every
    every-th frame from the first, or those ffmpeg's select expression picks, at most
    max_frames of them."""
    stream = video_stream(probe(path))
    width, height = int(stream["width"]), int(stream["height"])
    cmd = ["ffmpeg", "-v", "error", "-nostdin", "-i", str(path), "-map", "0:v:0"]
    if select is None and every > 1:
        select = f"not(mod(n\\,{int(every)}))"
    if select is not None:
        cmd += ["-vf", f"select={select}"]
    if max_frames is not None:
        cmd += ["-frames:v", str(int(max_frames))]
    # Passthrough: one output frame per decoded frame, none repeated or dropped for timing.
    cmd += ["-fps_mode", "passthrough", "-f", "rawvideo", "-pix_fmt", "rgb24", "-"]
    result = subprocess.run(cmd, capture_output=True, timeout=300)
    if result.returncode != 0:
        raise RuntimeError(f"ffmpeg could not decode {path}: {result.stderr.decode(errors='replace')}")
    data = result.stdout
    size = width * height * 3
    return [(width, height, data[i:i + size]) for i in range(0, len(data) - size + 1, size)]


def pixel(frame, x, y):
    """The (r, g, b) of frame pixel (x, y)."""
    width, _, data = frame
    i = (y * width + x) * 3
    return data[i], data[i + 1], data[i + 2]


def flipped(frame):
    """The frame upside down, as a reader that takes bottom-up rows for top-down shows it."""
    width, height, data = frame
    row = width * 3
    return width, height, b"".join(data[y * row:(y + 1) * row] for y in reversed(range(height)))


# Reading the scene back


def _cell_bit(frame, left, top):
    """1 for a white cell, 0 for black, None for anything else; the cell's middle is sampled
    so smeared edges from a lossy codec or an off-by-one do not count."""
    total = [0, 0, 0]
    for y in range(top + 2, top + CELL - 2):
        for x in range(left + 2, left + CELL - 2):
            for i, v in enumerate(pixel(frame, x, y)):
                total[i] += v
    n = (CELL - 4) ** 2
    mean = [t / n for t in total]
    if all(v <= 80 for v in mean):
        return 0
    if all(v >= 175 for v in mean):
        return 1
    return None


def _read_block(frame, left, top):
    cells = []
    for r in range(CELLS):
        row = []
        for c in range(CELLS):
            bit = _cell_bit(frame, left + c * CELL, top + r * CELL)
            if bit is None:
                return None
            row.append(bit)
        cells.append(row)
    return decode_cells(cells)


def read_counters(frame, region_x, region_y):
    """The counters of every complete, valid code block in a frame that shows the screen from
    (region_x, region_y), top row first; blocks hidden by the cursor or other windows are
    left out."""
    width, height, _ = frame
    values = []
    for x, y in code_blocks(region_x, region_y, width, height):
        value = _read_block(frame, x - region_x, y - region_y)
        if value is not None:
            values.append(value)
    return values


def read_counter(frame, region_x, region_y):
    """The counter of the first complete, valid code block in the frame, or None."""
    width, height, _ = frame
    for x, y in code_blocks(region_x, region_y, width, height):
        value = _read_block(frame, x - region_x, y - region_y)
        if value is not None:
            return value
    return None


def counter_steps(a, b):
    """How many counter steps lead from a to b (the counter wraps at 65536)."""
    return (b - a) % COUNTER_MODULO


def background_samples(region_x, region_y, width, height):
    """Frame positions (x, y) to check the background at: every 8 pixels, none within 3 pixels
    of a block edge or of a code block, where codecs and the screen's own rounding blur."""
    samples = []
    for fy in range(4, height, 8):
        sy = region_y + fy
        if not 3 <= sy % BLOCK < BLOCK - 3:
            continue
        for fx in range(4, width, 8):
            sx = region_x + fx
            if 3 <= sx % BLOCK < BLOCK - 3 and not in_code_block(sx, sy, margin=3):
                samples.append((fx, fy))
    return samples


def check_region(frame, region_x, region_y, depth=24):
    """The share (0 to 1) of sampled background pixels in the frame that have the colour the
    scene paints at (region_x + x, region_y + y). A frame of the right region the right way up
    scores near 1 (the cursor hides a few samples); one a block or more off, or flipped, scores
    below 0.5 at 24 and 16 bits. Samples keep clear of block edges, so an offset of a pixel or
    two passes: locate() tells those apart. At 8 bits neighbouring blocks share palette colours
    and a flipped frame may still score 0.8; there read_counter (None when flipped) is surer."""
    width, height, _ = frame
    samples = background_samples(region_x, region_y, width, height)
    if not samples:
        return 0.0
    good = sum(colour_close(pixel(frame, x, y), expected_colour(region_x + x, region_y + y, depth),
                            depth)
               for x, y in samples)
    return good / len(samples)


def _level(v, depth):
    """The block index (0-31) a channel value of the background stands for, or None."""
    if depth == 16:
        return v >> 3
    level = (v + 4) // 8
    return level % LEVELS if abs(v - 8 * level) <= 3 else None


def _edge_votes(frame, depth, vertical):
    """Votes for the region's origin along one axis, modulo 1024, from block edges: pixel pairs
    where the background steps to the next block. The block index on the far side gives the
    edge's screen position, the pair's place in the frame the origin."""
    width, height, _ = frame
    channel = 1 if vertical else 0
    other = 0 if vertical else 1
    along, across = (height, width) if vertical else (width, height)
    votes = {}
    for a in range(2, across, 5):
        for b in range(along - 1):
            p = pixel(frame, a, b) if vertical else pixel(frame, b, a)
            q = pixel(frame, a, b + 1) if vertical else pixel(frame, b + 1, a)
            if _level(p[2], depth) != BLUE // STEP or _level(q[2], depth) != BLUE // STEP:
                continue
            lp, lq = _level(p[channel], depth), _level(q[channel], depth)
            if lp is None or lq != (lp + 1) % LEVELS:
                continue
            if _level(p[other], depth) is None or _level(p[other], depth) != _level(q[other], depth):
                continue
            origin = (BLOCK * lq - (b + 1)) % (BLOCK * LEVELS)
            votes[origin] = votes.get(origin, 0) + 1
    return votes


def locate(frame, depth=24):
    """Where on the screen the frame's pixel (0, 0) is, found from the background alone:
    (x, y), each modulo 1024 (the background repeats after 32 blocks), or None when the frame
    shows too few block edges to tell. Exact to the pixel at 24 and 16 bits; not for 8 bits,
    whose palette merges neighbouring blocks."""
    found = []
    for vertical in (False, True):
        votes = _edge_votes(frame, depth, vertical)
        total = sum(votes.values())
        if not total:
            return None
        origin, count = max(votes.items(), key=lambda item: item[1])
        if count < 3 or count * 2 < total:
            return None
        found.append(origin)
    return tuple(found)
