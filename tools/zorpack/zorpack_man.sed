# The command words that head the man page's description list, in bold,
# as a man page shows what is typed as it is.
/^\.TP$/{
n
s/^\(pack\|inspect\|extract\|verify\|sbom\)$/.B \1/
}
