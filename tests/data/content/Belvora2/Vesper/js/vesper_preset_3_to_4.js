// Conversion step vesper_preset_3_to_4 of the sample content.
// Placeholder: leaves the data as it is.
var converted = 1;
