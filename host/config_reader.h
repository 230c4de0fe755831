#pragma once
// Reading Morlin.cfg into the host at start-up: options applied, download files given to the
// plug-ins that accept them (a Tamsel image held back to the end).
namespace morlin {

class MorlinApp;

// Reads the configuration file named by app.config_file_path(). Non-zero when the file was
// read to its end without error and its check value matched (an empty file counts as read).
// Errors are shown (119 cannot open, 110 check failed) or logged as the file format says.
[[nodiscard]] int read_configuration(MorlinApp& app);

} // namespace morlin
