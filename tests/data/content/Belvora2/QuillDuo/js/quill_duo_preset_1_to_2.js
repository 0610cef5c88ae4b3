// Conversion step quill_duo_preset_1_to_2 of the sample content.
// Placeholder: leaves the data as it is.
var converted = 1;
