#!/usr/bin/perl
# Marks every name in a zip file as UTF-8 (bit 11 of the general purpose flags, in the local
# and the central headers). Debian's zip stores UTF-8 names as they are but never sets the
# mark, and without it Windows' own unzipping reads them in the old DOS code page, which turns
# 設定.exe into garbage. The flags are outside every checksum, so nothing else changes.
#   zip-utf8-flag.pl FILE.zip
use strict;
use warnings;

my $file = shift or die "usage: zip-utf8-flag.pl FILE.zip\n";
open(my $fh, '+<:raw', $file) or die "zip-utf8-flag.pl: cannot open $file: $!\n";
my $size = -s $fh;
my $tail_len = $size < 65557 ? $size : 65557;  # the end record and a comment of at most 64 KiB
seek($fh, $size - $tail_len, 0);
read($fh, my $tail, $tail_len) == $tail_len or die "zip-utf8-flag.pl: cannot read $file\n";
my $end = rindex($tail, "PK\x05\x06");
die "zip-utf8-flag.pl: $file is not a zip file\n" if $end < 0;
my ($entries, $cd_size, $cd_offset) = unpack('v V V', substr($tail, $end + 10, 10));

sub flag_at {
  my ($offset) = @_;
  seek($fh, $offset, 0);
  read($fh, my $bytes, 2) == 2 or die "zip-utf8-flag.pl: $file is cut short\n";
  seek($fh, $offset, 0);
  print $fh pack('v', unpack('v', $bytes) | 0x0800);
}

my $at = $cd_offset;
for (1 .. $entries) {
  seek($fh, $at, 0);
  read($fh, my $h, 46) == 46 or die "zip-utf8-flag.pl: $file is cut short\n";
  die "zip-utf8-flag.pl: $file has a damaged directory\n" unless substr($h, 0, 4) eq "PK\x01\x02";
  my ($name_len, $extra_len, $comment_len) = unpack('v v v', substr($h, 28, 6));
  my $local = unpack('V', substr($h, 42, 4));
  flag_at($at + 8);      # central header
  flag_at($local + 6);   # local header
  $at += 46 + $name_len + $extra_len + $comment_len;
}
close($fh) or die "zip-utf8-flag.pl: cannot write $file: $!\n";
