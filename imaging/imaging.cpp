// imaging/imaging.cpp: anchor of the imaging library until its first operation lands.
