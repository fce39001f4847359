#include "dict/EnglishForms.h"

#include <libstemmer.h>

#include <algorithm>
#include <memory>
#include <utility>

namespace velmora::english {

namespace {

// British spellings and their American forms, sorted by the British one.
// Chosen from the usual -our/-or, -re/-er, -ce/-se, -ise/-ize, -yse/-yze,
// -ogue/-og, -ll-/-l-, ae/oe and single-word differences, keeping only
// those whose American form stands in the bundled dictionary's senses.
// Only British to American: "check" does not mean "cheque".
struct TSpelling {
  std::string_view British, American;
};
constexpr TSpelling kSpellings[] = {
    {"acknowledgement", "acknowledgment"},
    {"aeroplane", "airplane"},
    {"ageing", "aging"},
    {"aluminium", "aluminum"},
    {"anaemia", "anemia"},
    {"anaesthesia", "anesthesia"},
    {"analogue", "analog"},
    {"analyse", "analyze"},
    {"apologise", "apologize"},
    {"ardour", "ardor"},
    {"armour", "armor"},
    {"authorise", "authorize"},
    {"axe", "ax"},
    {"baptise", "baptize"},
    {"behaviour", "behavior"},
    {"calibre", "caliber"},
    {"cancelled", "canceled"},
    {"cancelling", "canceling"},
    {"catalogue", "catalog"},
    {"catalyse", "catalyze"},
    {"centimetre", "centimeter"},
    {"centre", "center"},
    {"characterise", "characterize"},
    {"cheque", "check"},
    {"civilisation", "civilization"},
    {"civilise", "civilize"},
    {"clamour", "clamor"},
    {"colonisation", "colonization"},
    {"colonise", "colonize"},
    {"colour", "color"},
    {"cosy", "cozy"},
    {"counsellor", "counselor"},
    {"criticise", "criticize"},
    {"defence", "defense"},
    {"dialogue", "dialog"},
    {"diarrhoea", "diarrhea"},
    {"doughnut", "donut"},
    {"draught", "draft"},
    {"emphasise", "emphasize"},
    {"encyclopaedia", "encyclopedia"},
    {"endeavour", "endeavor"},
    {"enrol", "enroll"},
    {"enrolment", "enrollment"},
    {"favour", "favor"},
    {"favourite", "favorite"},
    {"fertilise", "fertilize"},
    {"fertiliser", "fertilizer"},
    {"fervour", "fervor"},
    {"fibre", "fiber"},
    {"finalise", "finalize"},
    {"flavour", "flavor"},
    {"foetus", "fetus"},
    {"fuelled", "fueled"},
    {"fulfil", "fulfill"},
    {"fulfilment", "fulfillment"},
    {"gaol", "jail"},
    {"globalisation", "globalization"},
    {"grey", "gray"},
    {"haemoglobin", "hemoglobin"},
    {"haemorrhage", "hemorrhage"},
    {"harbour", "harbor"},
    {"harmonise", "harmonize"},
    {"honour", "honor"},
    {"humour", "humor"},
    {"industrialisation", "industrialization"},
    {"instalment", "installment"},
    {"jeopardise", "jeopardize"},
    {"jewellery", "jewelry"},
    {"judgement", "judgment"},
    {"kerb", "curb"},
    {"kilometre", "kilometer"},
    {"labour", "labor"},
    {"legalise", "legalize"},
    {"leukaemia", "leukemia"},
    {"licence", "license"},
    {"litre", "liter"},
    {"lustre", "luster"},
    {"manoeuvre", "maneuver"},
    {"marvellous", "marvelous"},
    {"maximise", "maximize"},
    {"meagre", "meager"},
    {"memorise", "memorize"},
    {"metre", "meter"},
    {"millimetre", "millimeter"},
    {"minimise", "minimize"},
    {"mobilise", "mobilize"},
    {"modelling", "modeling"},
    {"modernisation", "modernization"},
    {"modernise", "modernize"},
    {"mould", "mold"},
    {"moustache", "mustache"},
    {"mum", "mom"},
    {"neighbour", "neighbor"},
    {"neutralise", "neutralize"},
    {"normalise", "normalize"},
    {"odour", "odor"},
    {"oesophagus", "esophagus"},
    {"oestrogen", "estrogen"},
    {"offence", "offense"},
    {"omelette", "omelet"},
    {"organisation", "organization"},
    {"organise", "organize"},
    {"paediatrics", "pediatrics"},
    {"parlour", "parlor"},
    {"pedlar", "peddler"},
    {"plough", "plow"},
    {"polarise", "polarize"},
    {"practise", "practice"},
    {"pretence", "pretense"},
    {"privatisation", "privatization"},
    {"programme", "program"},
    {"pyjamas", "pajamas"},
    {"realise", "realize"},
    {"recognise", "recognize"},
    {"rigour", "rigor"},
    {"rumour", "rumor"},
    {"saviour", "savior"},
    {"savour", "savor"},
    {"sceptical", "skeptical"},
    {"sceptre", "scepter"},
    {"skilful", "skillful"},
    {"smoulder", "smolder"},
    {"sombre", "somber"},
    {"specialise", "specialize"},
    {"spectre", "specter"},
    {"splendour", "splendor"},
    {"stabilise", "stabilize"},
    {"standardise", "standardize"},
    {"sterilise", "sterilize"},
    {"storey", "story"},
    {"sulphur", "sulfur"},
    {"summarise", "summarize"},
    {"symbolise", "symbolize"},
    {"sympathise", "sympathize"},
    {"theatre", "theater"},
    {"travelled", "traveled"},
    {"traveller", "traveler"},
    {"travelling", "traveling"},
    {"tumour", "tumor"},
    {"tyre", "tire"},
    {"urbanise", "urbanize"},
    {"utilise", "utilize"},
    {"valour", "valor"},
    {"vaporise", "vaporize"},
    {"vapour", "vapor"},
    {"vigour", "vigor"},
    {"visualise", "visualize"},
    {"whisky", "whiskey"},
    {"wilful", "willful"},
    {"woollen", "woolen"},
};

// Endings undone, longest first, and what the stem may end in instead.
struct TEnding {
  std::string_view Ending;
  std::string_view Restored;  // put back after the ending is cut
};
constexpr TEnding kEndings[] = {
    {"ies", "y"}, {"ied", "y"}, {"ing", ""}, {"ing", "e"}, {"es", ""},
    {"ed", ""},   {"ed", "e"},  {"s", ""},   {"d", ""},
};

bool IsVowel(char c) {
  return c == 'a' || c == 'e' || c == 'i' || c == 'o' || c == 'u';
}

class TStemmer {
 public:
  TStemmer() : stemmer_(sb_stemmer_new("english", nullptr), sb_stemmer_delete) {}
  // Empty when the stemmer could not be made (it holds no state worth
  // failing the search for: no forms are derived then).
  std::string Stem(std::string_view word) {
    if (!stemmer_) return {};
    const sb_symbol* stem =
        sb_stemmer_stem(stemmer_.get(), reinterpret_cast<const sb_symbol*>(word.data()),
                        int(word.size()));
    if (!stem) return {};
    return std::string(reinterpret_cast<const char*>(stem),
                       std::size_t(sb_stemmer_length(stemmer_.get())));
  }

 private:
  std::unique_ptr<sb_stemmer, void (*)(sb_stemmer*)> stemmer_;
};

void AddOnce(std::vector<std::string>& to, std::string form) {
  if (std::find(to.begin(), to.end(), form) == to.end()) to.push_back(std::move(form));
}

}  // namespace

std::optional<std::string_view> AmericanSpelling(std::string_view lower) {
  const auto at = std::lower_bound(
      std::begin(kSpellings), std::end(kSpellings), lower,
      [](const TSpelling& s, std::string_view w) { return s.British < w; });
  if (at == std::end(kSpellings) || at->British != lower) return std::nullopt;
  return at->American;
}

TWordForms FormsOf(std::string_view lower) {
  TWordForms forms;
  forms.Own.emplace_back(lower);
  if (const std::optional<std::string_view> american = AmericanSpelling(lower))
    forms.Own.emplace_back(*american);
  if (lower.size() < 4 || !std::all_of(lower.begin(), lower.end(),
                                       [](char c) { return c >= 'a' && c <= 'z'; }))
    return forms;

  TStemmer stemmer;
  const std::string stem = stemmer.Stem(lower);
  if (stem.empty()) return forms;
  std::vector<std::string> candidates;
  for (const TEnding& e : kEndings) {
    if (lower.size() < e.Ending.size() + 2 || !lower.ends_with(e.Ending)) continue;
    const std::string_view cut = lower.substr(0, lower.size() - e.Ending.size());
    candidates.push_back(std::string(cut).append(e.Restored));
    // stopped, running: the consonant doubled before the ending.
    const std::size_t n = cut.size();
    if (e.Restored.empty() && e.Ending != "s" && e.Ending != "d" && n >= 3 &&
        cut[n - 1] == cut[n - 2] && !IsVowel(cut[n - 1]))
      candidates.emplace_back(cut.substr(0, n - 1));
  }
  for (std::string& c : candidates) {
    if (c.size() < 2 || c == lower || stemmer.Stem(c) != stem) continue;
    if (const std::optional<std::string_view> american = AmericanSpelling(c))
      AddOnce(forms.Derived, std::string(*american));
    AddOnce(forms.Derived, std::move(c));
  }
  std::erase_if(forms.Derived, [&](const std::string& f) {
    return std::find(forms.Own.begin(), forms.Own.end(), f) != forms.Own.end();
  });
  return forms;
}

}  // namespace velmora::english
