// Test helper: rewrites a VCF file as BCF with htslib (or, with a third
// argument, as bgzip-compressed VCF).
#include <htslib/vcf.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: vcf_to_bcf IN.vcf OUT.bcf [vcf.gz]\n");
    return 2;
  }
  htsFile* in = hts_open(argv[1], "r");
  bcf_hdr_t* header = in ? bcf_hdr_read(in) : nullptr;
  htsFile* out = hts_open(argv[2], argc > 3 ? "wz" : "wb");
  if (!header || !out || bcf_hdr_write(out, header) != 0) return 1;
  bcf1_t* record = bcf_init();
  int status = 0;
  while ((status = bcf_read(in, header, record)) == 0) {
    if (bcf_write(out, header, record) != 0) return 1;
  }
  bcf_destroy(record);
  bcf_hdr_destroy(header);
  const bool closed = hts_close(out) == 0 && hts_close(in) == 0;
  return status == -1 && closed ? 0 : 1;
}
