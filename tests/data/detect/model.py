"""A plain, byte-by-byte reading of the detection rules, kept apart from the
library's code. It derives the expected answers of the generated detection
cases (make_cases.py) and serves for differential checks against kmv_buf.

The mapping tables are taken from a built libkmv.so through ctypes: the
tables are checked on their own; this file only models the detector.
"""
import ctypes

TABLES = {
    "sjis": ("sjis2unibe932_table", 64588),
    "common": ("euc2unibecommon_table00", 62631),
    "e1": ("euc2unibe20932_table00", 62631),
    "e1_8f": ("euc2unibe20932_table8f", 60900),
    "e2": ("euc2unibe51932_table00", 64767),
    "ms": ("euc2unibems_table00", 65279),
    "ms_8f": ("euc2unibems_table8f", 65279),
    "def": ("unibe_def_table", 65536),
}


def load_tables(lib_path):
    lib = ctypes.CDLL(lib_path)
    return {k: list((ctypes.c_uint16 * n).in_dll(lib, name))
            for k, (name, n) in TABLES.items()}


def f32(x):
    return ctypes.c_float(x).value


def at(table, i):
    return table[i] if table is not None and 0 <= i < len(table) else 0


def is_possible(table, lead, low=0xA0):
    """Some character of the table starts with lead (EUC-JP trails from A0)."""
    return any(at(table, lead * 256 + x) for x in range(low, 0x100))


def check_euc(t, buf, expected):
    """Returns (bits, euc_valid, euc_invalid, clean, end_flag_2); the
    handle's tables are the common ones, without three-byte codes."""
    n, i, valid, invalid, bits, end2 = len(buf), 0, 0, 0, 0, False
    common = t["common"]
    hit, miss = [0, 0, 0], [0, 0, 0]
    while i < n:
        c = buf[i]
        if c < 0x80:
            i += 1
            continue
        three = False
        if c == 0x8E or c == 0x8F:
            if i + 1 == n:
                end2 = True
                break
            if c == 0x8E and 0xA1 <= buf[i + 1] <= 0xDF:
                i += 2
                continue
            if i + 2 == n:  # the character needs a byte beyond the text
                tables = [common] if c == 0x8E else [t["e1_8f"], t["ms_8f"]]
                if not any(is_possible(table, buf[i + 1]) for table in tables):
                    return 0, 0, 0, 0, False
                end2 = True
                break
            code = buf[i + 1] * 256 + buf[i + 2]
            three = c == 0x8F
            i += 3
        elif at(common, c):
            i += 1
            continue
        elif i + 1 == n:
            if is_possible(common, c):
                end2 = True
                break
            return 0, 0, 0, 0, False
        else:
            code = c * 256 + buf[i + 1]
            i += 2
        # classify
        if not three and at(common, code):
            valid += 1
            continue
        in1 = at(t["e1_8f"] if three else t["e1"], code) != 0
        in2 = (not three) and at(t["e2"], code) != 0
        in3 = at(t["ms_8f"] if three else t["ms"], code) != 0
        for k, inside in enumerate((in1, in2, in3)):
            hit[k], miss[k] = hit[k] + inside, miss[k] + (not inside)
            bits |= (0x10 << k) if inside else 0
        if in3:
            continue
        if not in1 and not in2:
            invalid += 1
            if invalid > 20:
                break
    if valid <= invalid:
        return 0, 0, 0, 0, end2
    clean = 1 if invalid == 0 else 0
    if f32(invalid) > f32(f32(valid) / f32(30.0)):
        for k, b in enumerate((0x10, 0x20, 0x40)):
            if f32(f32(hit[k] + valid) / f32(30.0)) > f32(miss[k]):
                bits |= b
    for et, b in ((6, 0x10), (7, 0x20), (8, 0x40)):
        if expected == et and bits & b:
            return b, valid, invalid, clean, end2
    bits = {0: 0x8, 0x70: 0x8, 0x50: 0x10}.get(bits, bits)
    return bits, valid, invalid, clean, end2


MASK_OF_SINGLE = {0x40: 1, 0x100: 4, 0x200: 5, 0x400: 6, 0x800: 7,
                  0x1000: 8, 0x2000: 11, 0x8000: 13, 0x20000: 15}


def detect(exp, cand, end, pref):
    r = 0
    if cand & 0x1:
        r = 0x40
        if exp == 1:
            return 1 if cand == 0x1 else 0x40
    if cand & 0x4 and not end & 1:
        r |= 0x100
        if exp == 4:
            return 4 if cand == 0x4 else 0x100
    if not end & 2:
        for bit, single, mask, last in ((0x8, 5, 0x200, 8), (0x10, 6, 0x400, 7), (0x20, 7, 0x800, 8),
                                        (0x40, 8, 0x1000, 8)):
            if cand & bit:
                if 5 <= exp <= last:
                    return single if cand == bit else mask
                r |= mask
                if bit == 0x10 and exp == 8:  # the first EUC-JP variant answers for the third
                    return 8 if cand == 0x10 else 0x1000
    if not end & 4:
        for bit, single, mask in ((0x200, 11, 0x2000), (0x400, 13, 0x8000)):
            if cand & bit:
                r |= mask
                if exp in (single, single + 1):
                    return single if cand == bit else mask
    if cand & 0x800 and not end & 8:
        if exp in (15, 16):
            return 15 if cand == 0x800 else 0x20000
        r |= 0x20000
        if r == 0x20000:
            return 15
    else:
        if r in MASK_OF_SINGLE:
            return MASK_OF_SINGLE[r]
        if r == 0:
            return -1
    for p, mask in ((4, 0x100), (8, 0x200), (0x200, 0x2000), (0x400, 0x8000)):
        if pref == p and r & mask:
            return mask
    return r


def kmv_buf(t, buf, expected=0, ignore=False):
    buf, n = bytes(buf), len(buf)
    if n == 0:
        return 0
    for mark, answer in ((b"\xfe\xff", 12), (b"\xff\xfe", 14),
                         (b"\xef\xbb\xbf", 16)):
        if buf.startswith(mark):
            return answer
    expected = 15 if expected == 1 else expected
    cand, end, pref = 0xE7D, 0, 0
    good = bad = kana = nul_e = nul_o = 0
    all_ascii, i = True, 0
    while i < n:
        c = buf[i]
        if c == 0:
            nul_e, nul_o = (nul_e + 1, nul_o) if i % 2 == 0 else (nul_e, nul_o + 1)
            i += 1
        elif c < 0x80:
            if c == 0x1B and i + 2 < n:
                a, b = buf[i + 1], buf[i + 2]
                if (a == 0x24 and b in b"@BJ") or (a == 0x28 and b in b"BHIJ"):
                    return 2
                i += 3 if a in (0x24, 0x28) else 1
            else:
                i += 1
        else:
            all_ascii = False
            cand = 0xE7C
            if 0xA1 <= c <= 0xDF:
                kana += 1
                i += 1
            elif i + 1 == n:
                if is_possible(t["sjis"], c, 0x40):
                    end |= 1
                else:
                    cand = 0xE78
                break
            else:
                w = c * 256 + buf[i + 1]
                i += 2
                if at(t["sjis"], w):
                    good += 1
                    if 0x829F <= w <= 0x82F1 or 0x8340 <= w <= 0x8393:
                        pref |= 4
                else:
                    bad += 1
                    if bad > 20:
                        break
    if (good == 0 and kana == 0) or f32(bad) > f32(f32(good) / f32(30.0)):
        cand &= ~0x4
    valid = invalid = clean = 0
    if all_ascii:
        cand &= 0x1 | 0x200 | 0x400
    else:
        bits, valid, invalid, clean, end2 = check_euc(t, buf, expected)
        if end2:
            end |= 2
        if (bad > 0 or kana > good) and valid > 0 and invalid == 0:
            cand &= ~0x4
        cand = (cand & ~0x78) | bits
        # UTF-8
        seq, i, cont = 0, 0, lambda x: 0x80 <= x <= 0xBF
        while i < n:
            c = buf[i]
            if c < 0x80:
                i += 1
                continue
            if i + 1 == n:
                end |= 8
                if not 0xC0 <= c <= 0xF4:
                    cand &= ~0x800
                break
            if 0xC0 <= c <= 0xDF:
                size = 2 if cont(buf[i + 1]) else 0
            elif 0xF0 <= c <= 0xF4:
                lo, hi = {0xF0: (0x90, 0xBF), 0xF4: (0x80, 0x8F)}.get(c, (0x80, 0xBF))
                tail = buf[i + 1:i + 4]
                if len(tail) == 1:
                    end |= 8
                ok = lo <= tail[0] <= hi and all(map(cont, tail[1:]))
                if ok and len(tail) < 3:
                    end |= 8
                    break
                size = 4 if ok else 0
            elif i + 2 == n:
                end |= 8
                if not (0xE0 <= c <= 0xEF and cont(buf[i + 1])):
                    cand &= ~0x800
                break
            else:
                size = 3 if 0xE0 <= c <= 0xEF and cont(buf[i + 1]) and cont(buf[i + 2]) else 0
            if not size:
                cand &= ~0x800
                break
            seq, i = seq + 1, i + size
        if seq == 0:
            cand &= ~0x800
    # UTF-16
    d = t["def"]
    plaus = lambda u: (at(d, u) & 3) != 0
    kana16 = lambda u: 0x3041 <= u <= 0x3093 or 0x30A1 <= u <= 0x30F3
    good16, i, reached_end = {0x200: 0, 0x400: 0}, 0, True
    def unit(j, big):
        return buf[j] * 256 + buf[j + 1] if big else buf[j + 1] * 256 + buf[j]

    def paired(j, big):
        u = unit(j, big)
        if 0xD800 <= u <= 0xDBFF:
            return j + 4 <= n and 0xDC00 <= unit(j + 2, big) <= 0xDFFF
        return 0xDC00 <= u <= 0xDFFF and j >= 2 and \
            0xD800 <= unit(j - 2, big) <= 0xDBFF

    while i + 1 < n:
        if not cand & 0x600:
            reached_end = False
            break
        u0, u1 = buf[i], buf[i + 1]
        be, le = u0 * 256 + u1, u1 * 256 + u0
        be_ok = plaus(be) or paired(i, True)
        le_ok = plaus(le) or paired(i, False)
        i += 2
        for mine, other, u, ok in ((0x200, 0x400, be, be_ok), (0x400, 0x200, le, le_ok)):
            if ok:
                good16[mine] += 1
                pref |= mine if kana16(u) else 0
                stop = mine == 0x200 and u0 == 0 and u1 in (9, 10, 13)
                cand = 0x200 if stop else cand
            elif u in (0xFEFF, 0xFFFD):
                cand, stop = mine, True
            else:
                cand &= ~mine
                stop = not cand & other
            if stop:
                break
        if stop:
            reached_end = False
            break
    if reached_end and i + 1 == n:
        for mine, count in good16.items():
            cand &= ~mine if count == 0 else ~0
        end |= 4
    # final decision
    pref, exp = (0, 0) if ignore else (pref, expected)
    utf8_cut = bool(cand & 0x800 and end & 8)
    # A cut reading takes its candidates out; a family no longer a
    # candidate drops its end flag and its preference.
    for flag, cands in ((1, 0x4), (2, 0x8), (4, 0x600), (8, 0x800)):
        if end & flag:
            cand &= ~cands
    for cands, flag, p in ((0x4, 1, 4), (0x78, 2, 8), (0x200, 4, 0x200),
                           (0x400, 4, 0x400), (0x800, 8, 0)):
        if not cand & cands:
            end &= ~flag
            pref &= ~p
    r = detect(exp, cand, end, pref)
    if end and r == -1:
        r = detect(exp, cand, 0, pref)
    if r == -1:
        if good > 0 and bad == 0:
            r = 0x300 if clean else 0x100
        else:
            r = 0x200 if clean else -1
    if r == -1 and utf8_cut:
        r = 0x20000
    if not ignore and r > 63:
        if f32(f32(nul_e) / f32(100.0)) > f32(nul_o) or \
                f32(f32(nul_o) / f32(100.0)) > f32(nul_e):
            r &= 0xA000
    return r
