// VCF and BCF genotype source of the import program: sample names from the
// header, diploid GT calls (unphased or phased) of biallelic and
// multi-allelic sites, read through htslib.
#include <htslib/bgzf.h>
#include <htslib/hts.h>
#include <htslib/vcf.h>

#include <cstdlib>
#include <string>

#include "input/import_sources.h"

namespace {

struct HtsCloser {
  void operator()(htsFile* f) const { hts_close(f); }
};
struct HeaderFree {
  void operator()(bcf_hdr_t* h) const { bcf_hdr_destroy(h); }
};
struct RecordFree {
  void operator()(bcf1_t* r) const { bcf_destroy(r); }
};

class VcfSource : public GenotypeSource {
 public:
  explicit VcfSource(const std::string& path) : path_(path) {
    description_ = path;
    file_.reset(hts_open(path.c_str(), "r"));
    if (!file_) throw ImportError(path + ": cannot be opened");
    const htsFormat* format = hts_get_format(file_.get());
    if (format->format != vcf && format->format != bcf) throw ImportError(path + ": is neither a VCF nor a BCF file");
    // A bgzip-compressed file (every BCF, and a VCF.gz written by bgzip or
    // htslib) ends with an empty block; without it the file was cut short,
    // and reading on would lose the sites after the cut without a word.
    if (format->compression == bgzf && bgzf_check_EOF(file_->fp.bgzf) == 0) {
      throw ImportError(path + ": is truncated (the end-of-file block of the compressed file is missing)");
    }
    header_.reset(bcf_hdr_read(file_.get()));
    if (!header_) throw ImportError(path + ": the header cannot be read (damaged or not a VCF/BCF file)");
    const int gt = bcf_hdr_id2int(header_.get(), BCF_DT_ID, "GT");
    if (!bcf_hdr_idinfo_exists(header_.get(), BCF_HL_FMT, gt)) {
      throw ImportError(path + ": has no GT (genotype) field in its header; only called genotypes can be imported");
    }
    const int nsamples = bcf_hdr_nsamples(header_.get());
    if (nsamples <= 0) throw ImportError(path + ": has no samples");
    for (int i = 0; i < nsamples; ++i) ids_.emplace_back(header_->samples[i]);
    record_.reset(bcf_init());
    if (!record_) throw std::bad_alloc();
  }

  ~VcfSource() override { std::free(gt_); }

  std::vector<std::string> Paths() const override { return {path_}; }

  bool NextSite(ImportSite& site) override {
    const int status = bcf_read(file_.get(), header_.get(), record_.get());
    if (status == -1) return false;
    ++count_;
    if (status < -1) {
      throw ImportError(path_ + ": site " + std::to_string(count_) + " cannot be read (damaged or truncated file)");
    }
    bcf1_t* rec = record_.get();
    if (bcf_unpack(rec, BCF_UN_STR | BCF_UN_FMT) != 0) {
      throw ImportError(path_ + ": site " + std::to_string(count_) + " cannot be read (damaged or truncated file)");
    }
    const char* chrom = bcf_seqname(header_.get(), rec);
    const std::string where = (chrom ? std::string(chrom) : std::string("?")) + ":" + std::to_string(rec->pos + 1);
    const std::string label = path_ + ": site " + std::to_string(count_) + " (" + where + ")";
    site.name = rec->d.id && std::string(rec->d.id) != "." ? std::string(rec->d.id) : where;
    site.nalleles = rec->n_allele;

    const int nsamples = static_cast<int>(ids_.size());
    const int n = bcf_get_genotypes(header_.get(), rec, &gt_, &ngt_);
    if (n <= 0) throw ImportError(label + " has no GT (genotype) field; only called genotypes can be imported");
    if (n % nsamples != 0) throw ImportError(label + ": damaged GT field");
    const int width = n / nsamples;
    site.calls.assign(2 * static_cast<std::size_t>(nsamples), 0);
    for (int i = 0; i < nsamples; ++i) {
      if (!Kept(static_cast<std::size_t>(i))) continue;
      const int32_t* g = gt_ + static_cast<std::ptrdiff_t>(i) * width;
      int ploidy = 0;
      while (ploidy < width && g[ploidy] != bcf_int32_vector_end) ++ploidy;
      bool missing = false;
      for (int k = 0; k < ploidy; ++k) {
        if (g[k] == bcf_int32_missing || bcf_gt_is_missing(g[k])) missing = true;
      }
      if (ploidy > 2) {
        throw ImportError(label + ": sample " + ids_[static_cast<std::size_t>(i)] + " has a call of ploidy " +
                          std::to_string(ploidy) + "; only diploid genotypes can be imported");
      }
      // "." for a whole diploid call is common and means missing; a
      // haploid call with an allele is not a diploid genotype.
      if (ploidy <= 1) {
        if (ploidy == 1 && !missing) {
          throw ImportError(label + ": sample " + ids_[static_cast<std::size_t>(i)] +
                            " has a haploid call; only diploid genotypes can be imported");
        }
        continue;
      }
      if (missing) continue;
      for (int k = 0; k < 2; ++k) {
        const int allele = bcf_gt_allele(g[k]);
        if (allele < 0 || allele >= rec->n_allele) {
          throw ImportError(label + ": sample " + ids_[static_cast<std::size_t>(i)] + " has allele " +
                            std::to_string(allele) + ", but the site has " + std::to_string(rec->n_allele) +
                            " alleles");
        }
        site.calls[2 * static_cast<std::size_t>(i) + static_cast<std::size_t>(k)] = allele + 1;
      }
    }
    return true;
  }

 private:
  std::string path_;
  std::unique_ptr<htsFile, HtsCloser> file_;
  std::unique_ptr<bcf_hdr_t, HeaderFree> header_;
  std::unique_ptr<bcf1_t, RecordFree> record_;
  int32_t* gt_ = nullptr;
  int ngt_ = 0;
  long count_ = 0;
};

}  // namespace

std::unique_ptr<GenotypeSource> OpenVcfSource(const std::string& path) { return std::make_unique<VcfSource>(path); }
