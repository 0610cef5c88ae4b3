// Conversion step vesper_preset_4_to_quill_duo_2 of the sample content.
// Placeholder: leaves the data as it is.
var converted = 1;
