// The peer decoder for the whole-process decoding bench: reads one GIF and
// decodes every frame with Wuffs, as `velmora-gif info FILE` decodes every
// frame with ours. Frames go to 8-bit indices, the cheapest output Wuffs
// offers and the one closest to ours (we keep each frame's indices too).
// Prints the number of frames; exit 0 when the whole file decoded, 2 if not.
// With --bgra, frames are composed to 32-bit pixels instead, as a viewer
// would show them.
//
//   velmora-wuffs-decode [--bgra] FILE.gif
//
// Built only when VELMORA_WUFFS names Wuffs's single-file C release
// (wuffs-v0.N.c); bench/gif/get-wuffs says where to find one.
#define WUFFS_IMPLEMENTATION
#define WUFFS_CONFIG__MODULES
#define WUFFS_CONFIG__MODULE__BASE
#define WUFFS_CONFIG__MODULE__GIF
#define WUFFS_CONFIG__MODULE__LZW
#include WUFFS_SOURCE

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static int Fail(const char* path, const char* what) {
  fprintf(stderr, "%s: %s\n", path, what);
  return 2;
}

int main(int argc, char** argv) {
  const int bgra = argc == 3 && strcmp(argv[1], "--bgra") == 0;
  if (argc != 2 + bgra)
    return Fail("velmora-wuffs-decode", "usage: velmora-wuffs-decode [--bgra] FILE.gif");
  const char* path = argv[argc - 1];
  int fd = open(path, O_RDONLY);
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0) return Fail(path, "cannot open");
  uint8_t* data = malloc((size_t)st.st_size + 1);
  size_t have = 0;
  while (data && have < (size_t)st.st_size) {
    ssize_t n = read(fd, data + have, (size_t)st.st_size - have);
    if (n <= 0) break;
    have += (size_t)n;
  }
  close(fd);
  if (!data || have != (size_t)st.st_size) return Fail(path, "cannot read");

  wuffs_gif__decoder* dec = malloc(sizeof__wuffs_gif__decoder());
  wuffs_base__status status = wuffs_gif__decoder__initialize(
      dec, sizeof__wuffs_gif__decoder(), WUFFS_VERSION,
      WUFFS_INITIALIZE__LEAVE_INTERNAL_BUFFERS_UNINITIALIZED);
  if (!wuffs_base__status__is_ok(&status)) return Fail(path, status.repr);
  wuffs_base__io_buffer src = wuffs_base__ptr_u8__reader(data, have, true);
  wuffs_base__image_config config;
  status = wuffs_gif__decoder__decode_image_config(dec, &config, &src);
  if (!wuffs_base__status__is_ok(&status)) return Fail(path, status.repr);
  const uint32_t w = wuffs_base__pixel_config__width(&config.pixcfg),
                 h = wuffs_base__pixel_config__height(&config.pixcfg);
  wuffs_base__pixel_config__set(&config.pixcfg,
                                bgra ? WUFFS_BASE__PIXEL_FORMAT__BGRA_PREMUL
                                     : WUFFS_BASE__PIXEL_FORMAT__INDEXED__BGRA_BINARY,
                                WUFFS_BASE__PIXEL_SUBSAMPLING__NONE, w, h);
  const size_t size = (size_t)w * h * (bgra ? 4 : 1) +
                      WUFFS_BASE__PIXEL_FORMAT__INDEXED__PALETTE_BYTE_LENGTH;
  uint8_t* pixels = calloc(size, 1);
  wuffs_base__pixel_buffer buffer;
  status = wuffs_base__pixel_buffer__set_from_slice(
      &buffer, &config.pixcfg, wuffs_base__make_slice_u8(pixels, size));
  if (!wuffs_base__status__is_ok(&status)) return Fail(path, status.repr);
  const uint64_t workLength = wuffs_gif__decoder__workbuf_len(dec).max_incl;
  uint8_t* work = workLength ? malloc(workLength) : NULL;

  unsigned frames = 0;
  for (;;) {
    wuffs_base__frame_config frame;
    status = wuffs_gif__decoder__decode_frame_config(dec, &frame, &src);
    if (status.repr == wuffs_base__note__end_of_data) break;
    if (!wuffs_base__status__is_ok(&status)) return Fail(path, status.repr);
    status = wuffs_gif__decoder__decode_frame(
        dec, &buffer, &src, WUFFS_BASE__PIXEL_BLEND__SRC,
        wuffs_base__make_slice_u8(work, workLength), NULL);
    if (!wuffs_base__status__is_ok(&status)) return Fail(path, status.repr);
    ++frames;
  }
  printf("%u frames, %ux%u\n", frames, w, h);
  return 0;
}
