//! encoding_rs behind a C function, for the benchmark's peer rows.
use encoding_rs::{CoderResult, Encoding, UTF_16BE, UTF_16LE, UTF_8};
use std::ffi::CStr;
use std::os::raw::c_char;
use std::slice;

unsafe fn encoding(label: *const c_char) -> Option<&'static Encoding> {
    Encoding::for_label(CStr::from_ptr(label).to_bytes())
}

fn decode_to_utf16(from: &'static Encoding, src: &[u8], dst: &mut [u16]) -> Option<usize> {
    let mut decoder = from.new_decoder_without_bom_handling();
    match decoder.decode_to_utf16(src, dst, true) {
        (CoderResult::InputEmpty, _, written, _) => Some(written),
        _ => None,
    }
}

/// Converts `src` from one encoding to another into `dst` (`cap` bytes);
/// returns the bytes written, or -1. UTF-16 is written in the order its
/// name says; a UTF-16LE source is read as UTF-16 code units directly.
///
/// # Safety
/// The labels are C strings; src and dst hold n and cap bytes.
#[no_mangle]
pub unsafe extern "C" fn kmv_bench_ers_convert(
    from: *const c_char,
    to: *const c_char,
    src: *const u8,
    n: usize,
    dst: *mut u8,
    cap: usize,
) -> isize {
    let (from, to) = match (encoding(from), encoding(to)) {
        (Some(f), Some(t)) => (f, t),
        _ => return -1,
    };
    let input = slice::from_raw_parts(src, n);
    let out = slice::from_raw_parts_mut(dst, cap);
    let written = if to == UTF_8 {
        let mut decoder = from.new_decoder_without_bom_handling();
        match decoder.decode_to_utf8(input, out, true) {
            (CoderResult::InputEmpty, _, written, _) => Some(written),
            _ => None,
        }
    } else if to == UTF_16LE || to == UTF_16BE {
        let units = slice::from_raw_parts_mut(dst as *mut u16, cap / 2);
        decode_to_utf16(from, input, units).map(|written| {
            if to == UTF_16BE {
                for u in &mut units[..written] {
                    *u = u.swap_bytes();
                }
            }
            2 * written
        })
    } else {
        let mut encoder = to.new_encoder();
        let result = if from == UTF_8 {
            let text = std::str::from_utf8_unchecked(input);
            let (r, _, w, _) = encoder.encode_from_utf8(text, out, true);
            (r, w)
        } else if from == UTF_16LE {
            let units = slice::from_raw_parts(src as *const u16, n / 2);
            let (r, _, w, _) = encoder.encode_from_utf16(units, out, true);
            (r, w)
        } else {
            let mut pivot = vec![0u16; n + 16];
            match decode_to_utf16(from, input, &mut pivot) {
                Some(units) => {
                    let (r, _, w, _) = encoder.encode_from_utf16(&pivot[..units], out, true);
                    (r, w)
                }
                None => (CoderResult::OutputFull, 0),
            }
        };
        match result {
            (CoderResult::InputEmpty, written) => Some(written),
            _ => None,
        }
    };
    written.map_or(-1, |w| w as isize)
}
